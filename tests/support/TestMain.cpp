// The main of every test program: either one child scenario, or GoogleTest.
#include "support/ChildScenario.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::map<std::string, ChildScenarioBody>& Scenarios() {
    static std::map<std::string, ChildScenarioBody> scenarios;
    return scenarios;
}

} // namespace

int RegisterChildScenario(const char* name, ChildScenarioBody body) {
    Scenarios()[name] = body;
    return 0;
}

bool RunChildScenarioFromCommandLine(int argc, char** argv, int& exitCode) {
    const size_t prefix = std::strlen(ChildScenarioSwitch);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], ChildScenarioSwitch, prefix) != 0) continue;
        auto found = Scenarios().find(argv[i] + prefix);
        exitCode = found == Scenarios().end() ? 127 : found->second();
        return true;
    }
    return false;
}

int main(int argc, char** argv) {
    int exitCode = 0;
    if (RunChildScenarioFromCommandLine(argc, argv, exitCode)) return exitCode;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
