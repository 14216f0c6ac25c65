// The host guide shows the example that the tests build and run, as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HostGuideDoc, TheGuideHoldsItsExampleVerbatim) {
  const std::string source = UMA_SOURCE_DIR;
  const std::string example = Text(source + "/examples/host_guide.cpp");
  ASSERT_FALSE(example.empty());
  EXPECT_NE(Text(source + "/docs/host-guide.md").find("```cpp\n" + example + "```\n"),
            std::string::npos)
      << "docs/host-guide.md must include examples/host_guide.cpp as it is";
}

}  // namespace
