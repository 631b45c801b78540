// The build the program reports in its About box and to --version.
#pragma once

constexpr int kBuildYear = 2023;
constexpr const char* kBuildDate = "Mar 16 2023";
