// morvex-validate against a module with one known fault at a time: each fault must turn
// up as a failure of the check meant to find it, and the faultless module must pass them all.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Report {
    std::string output;
    int status = -1;
};

Report validate(const char* module, const char* fault, int strictness) {
    const std::string command = std::string("MORVEX_FAULT=") + fault + " " + MORVEX_VALIDATE_PATH +
                                " --strictness " + std::to_string(strictness) + " " + module + " 2>/dev/null";
    Report run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Validator, FaultlessModulePassesAtHighestStrictness) {
    const Report run = validate(FAULTY_MODULE_PATH, "none", 10);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("FAIL"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" 0 failed"), std::string::npos) << run.output;
}

TEST(Validator, EachFaultFailsTheCheckMeantForIt) {
    struct Case {
        const char* fault;
        const char* expectedLine;
    };
    const Case cases[] = {
        {"allocate-in-process", "FAIL  realtime: processReplacing allocates nothing"},
        {"lock-in-set-parameter", "FAIL  realtime: setParameter and getParameter"},
        {"write-beyond-frames", "(a fault here is an access beyond them)"},
        {"process-announced-size", "(a fault here is an access beyond them)"},
        {"long-text", "FAIL  parameters: texts terminated within 64 bytes"},
        {"long-text", "FAIL  dispatcher: writes stay within the buffers hosts give"},
        {"latch-nan", "FAIL  audio: recovers from NaN and infinite input values"},
        {"crash-on-opcode-150", "FAIL  dispatcher: opcodes -1 to 200 without a crash: 1 crashed, first: opcode 150"},
        {"subnormal", "FAIL  audio: no subnormal output"},
        {"non-finite-parameter", "FAIL  parameters: values -1, 2 and NaN"},
        {"in-place-differs", "FAIL  audio: in-place processing matches separate buffers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const Report run = validate(FAULTY_MODULE_PATH, c.fault, 10);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.output.find(c.expectedLine), std::string::npos) << run.output;
    }
}

TEST(Validator, ExtraExportsWarnWithoutFailing) {
    const Report run = validate(FAULTY_EXPORTS_MODULE_PATH, "none", 10);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("WARN  load: exported symbols: 1 besides the entry points (faultyHelper)"),
              std::string::npos)
        << run.output;
}

TEST(Validator, StrictnessTurnsFailuresIntoWarnings) {
    const Report run = validate(FAULTY_MODULE_PATH, "subnormal", 5);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("WARN  audio: no subnormal output"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("(fails at strictness 6 and above)"), std::string::npos) << run.output;
}

}  // namespace
