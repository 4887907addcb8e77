#pragma once

// Where this build's programs and the tree's test scripts are. The paths are in one generated
// source file of the build (TestPaths.cpp), not on every test's compile line: a clone in
// another folder compiles only that file anew, and ccache answers the rest.
namespace testpaths {
extern const char* const cli;
extern const char* const window;
extern const char* const midoDumpScript;
extern const char* const jackdFixture;
} // namespace testpaths
