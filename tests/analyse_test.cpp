// morvex-analyse end to end: its measurements of the built module must show what any such
// filter and clipper must show, so the plots drawn from them can be trusted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Table = std::vector<std::vector<double>>;  // rows of numbers, comment lines skipped

Table readTable(const std::string& path) {
    Table rows;
    std::ifstream file(path);
    EXPECT_TRUE(file) << path;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        for (double value; fields >> value;) row.push_back(value);
        rows.push_back(row);
    }
    return rows;
}

class AnalyseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/morvex-analyse-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const std::string command = std::string(MORVEX_ANALYSE_PATH) + " " + folder + "/data";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    static Table table(const std::string& name) { return readTable(folder + "/data/" + name); }

    static std::string folder;
};
std::string AnalyseTest::folder;

// Columns: frequency, then Cutoff 0.02, 0.1, 0.4 at Resonance 0, then the same at 0.8.
constexpr double kCutoffHz[] = {441.0, 2205.0, 8820.0};

TEST_F(AnalyseTest, ResponsesHaveTheShapeOfTheirMode) {
    struct Case {
        const char* file;
        bool passesLow;   // within 0.5 dB of unity at 20 Hz
        bool passesHigh;  // within 3 dB of unity at 20 kHz for the lowest cutoff
        bool peaksAtCutoff;
    };
    const Case cases[] = {
        {"response-lp.dat", true, false, true},     {"response-hp.dat", false, true, true},
        {"response-band.dat", false, false, true},  {"response-notch.dat", true, true, false},
        {"response-peak.dat", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Table rows = table(c.file);
        ASSERT_GE(rows.size(), 100u);
        for (const auto& row : rows) ASSERT_EQ(row.size(), 7u);
        for (int column = 1; column <= 6; ++column) {
            SCOPED_TRACE("column " + std::to_string(column));
            const double low = rows.front()[column];
            if (c.passesLow) EXPECT_NEAR(low, 0.0, 0.5);
            else EXPECT_LT(low, -20.0);
            if (column == 1 || column == 4) {
                const double high = rows.back()[column];
                if (c.passesHigh) EXPECT_NEAR(high, 0.0, 3.0);
                else EXPECT_LT(high, -20.0);
            }
        }
        // With resonance the loudest frequency sits at the cutoff, well above unity, except
        // for the notch, whose quietest frequency sits there instead.
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE("cutoff " + std::to_string(kCutoffHz[i]));
            const int column = 4 + i;
            std::size_t extreme = 0;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const bool further = c.peaksAtCutoff ? rows[r][column] > rows[extreme][column]
                                                     : rows[r][column] < rows[extreme][column];
                if (further) extreme = r;
            }
            EXPECT_NEAR(std::log2(rows[extreme][0] / kCutoffHz[i]), 0.0, 0.15);
            if (c.peaksAtCutoff) EXPECT_GT(rows[extreme][column], 12.0);
            else EXPECT_LT(rows[extreme][column], -10.0);
        }
    }
}

TEST_F(AnalyseTest, ClipperCurvesAreOddRisingAndReachFullScale) {
    const Table rows = table("clipper.dat");
    ASSERT_GE(rows.size(), 101u);
    const std::size_t columns = rows[0].size();
    ASSERT_EQ(columns, 7u);
    for (std::size_t column = 1; column < columns; ++column) {
        SCOPED_TRACE("column " + std::to_string(column));
        EXPECT_NEAR(rows.front()[column], -1.0, 1e-4);
        EXPECT_NEAR(rows.back()[column], 1.0, 1e-4);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            EXPECT_NEAR(rows[r][column], -rows[rows.size() - 1 - r][column], 1e-5) << "input " << rows[r][0];
            if (r > 0) {
                EXPECT_GE(rows[r][column], rows[r - 1][column]) << "input " << rows[r][0];
            }
        }
    }
    // More Disto pushes every positive input further towards full scale.
    for (const auto& row : rows) {
        if (row[0] <= 0.0 || row[0] >= 1.0) continue;
        for (std::size_t column = 2; column < columns; ++column) EXPECT_GT(row[column], row[column - 1]);
    }
}

}  // namespace
