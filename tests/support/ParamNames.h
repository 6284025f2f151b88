#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// Test names from a case's "what" text, so that ctest lists readable names.
struct NameFromWhat {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    std::string name;
    for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  }
};

struct NameFromIndex {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return "case" + std::to_string(info.index);
  }
};
