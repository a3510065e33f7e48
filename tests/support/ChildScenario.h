// Scenarios that a test runs in a child copy of its own test program, for
// what must be watched from outside the process (debugger output, exit codes).
#pragma once

#include <string>
#include <vector>

using ChildScenarioBody = int (*)();

int RegisterChildScenario(const char* name, ChildScenarioBody body);

// Runs the scenario of that name, if this process was started for one.
// Returns true and sets exitCode when it did.
bool RunChildScenarioFromCommandLine(int argc, char** argv, int& exitCode);

#define CHILD_SCENARIO_CONCAT2(a, b) a##b
#define CHILD_SCENARIO_CONCAT(a, b) CHILD_SCENARIO_CONCAT2(a, b)
// CHILD_SCENARIO(Name) { ...; return exitCode; }
#define CHILD_SCENARIO(name)                                                        \
    static int ChildScenario_##name();                                              \
    static const int CHILD_SCENARIO_CONCAT(childScenarioRegistration_, name) =      \
        RegisterChildScenario(#name, ChildScenario_##name);                         \
    static int ChildScenario_##name()

// The command-line switch that selects a scenario in the child.
constexpr const char* ChildScenarioSwitch = "--child-scenario=";
