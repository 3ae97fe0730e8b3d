// Loads the built Morvex module through host/ once per test, as a host would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/vst_host.h"

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        module = vsthost::Module::load(MORVEX_MODULE_PATH, error);
        ASSERT_TRUE(module) << error;
        effect = module->instantiate();
        ASSERT_TRUE(effect) << "entry point returned null";
        record = effect->record();
    }
    void TearDown() override {
        effect.reset();
        module.reset();
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatch(opcode, index, value, ptr, opt);
    }

    std::unique_ptr<vsthost::Module> module;
    std::unique_ptr<vsthost::Effect> effect;
    AEffect* record = nullptr;
};
