// A test with a private registry whose console type can be changed between checks.
#pragma once

#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"

class ConsoleTypeFixture : public ::testing::Test {
protected:
    void SetUp() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }

    /// Stores the console type in this machine's settings and loads them again.
    static void useConsoleType(int type)
    {
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", type));
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        ASSERT_EQ(CConsoleRegistryNames::GetConsoleType(), type);
    }

    TestEnvironment m_env;
};
