#include "paifu/base/tile.hpp"

#include <gtest/gtest.h>

namespace paifu {
namespace {

TEST(TileFromCode, ReadsEveryValidCodeAndRefusesHoles) {
  struct Case {
    int code;
    const char* name;  // nullptr: not a tile code
  };
  const Case cases[] = {{0, "?"},   {11, "1m"}, {15, "5m"}, {19, "9m"}, {21, "1p"}, {25, "5p"},  {29, "9p"},
                        {31, "1s"}, {35, "5s"}, {39, "9s"}, {41, "E"},  {44, "N"},  {45, "P"},   {46, "F"},
                        {47, "C"},  {51, "5mr"}, {52, "5pr"}, {53, "5sr"}, {10, nullptr}, {20, nullptr},
                        {30, nullptr}, {40, nullptr}, {48, nullptr}, {49, nullptr}, {50, nullptr},
                        {54, nullptr}, {60, nullptr}, {255, nullptr}};
  for (const Case& c : cases) {
    const auto tile = tile_from_code(static_cast<std::uint8_t>(c.code));
    if (c.name == nullptr) {
      EXPECT_FALSE(tile.has_value()) << c.code;
    } else {
      ASSERT_TRUE(tile.has_value()) << c.code;
      EXPECT_EQ(tile_name(*tile), c.name) << c.code;
    }
  }
}

TEST(TileFromCode, ThirtyEightCodesInMjaiOrder) {
  int valid = 0;
  int previous = -1;
  for (int code = 0; code < 256; ++code) {
    if (auto tile = tile_from_code(static_cast<std::uint8_t>(code))) {
      ++valid;
      if (code != 0) {
        EXPECT_GT(tile->index, previous) << code;
        previous = tile->index;
      }
    }
  }
  EXPECT_EQ(valid, 38);
  EXPECT_NE(tile_from_code(15)->index, tile_from_code(51)->index);  // red fives stay distinct
}

TEST(InvalidTileCodeMessage, ListsTheCodesInAscendingOrder) {
  EXPECT_EQ(invalid_tile_code_message(54),
            "invalid value: 54, expected one of: 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, "
            "29, 31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 51, 52, 53");
}

TEST(TileFromCodeText, ReadsTwoCharactersAsAnUnsignedCode) {
  struct Case {
    std::string_view text;
    const char* name;       // on success
    const char* bad_pair;   // on failure: the two characters reported
  };
  const Case cases[] = {
      {"15", "5m", nullptr},   {"+0", "?", nullptr},    {"00", "?", nullptr},     {"53", "5sr", nullptr},
      {"0a", nullptr, "0a"},   {"-1", nullptr, "-1"},   {" 1", nullptr, " 1"},    {"60", nullptr, "60"},
      {"10", nullptr, "10"},   {"++", nullptr, "++"},   {"+", nullptr, nullptr},
      {"\xFF" "1", nullptr, "\xEF\xBF\xBD" "1"},        {"\xE3\x81", nullptr, "\xEF\xBF\xBD"},
      {"\xC3\xA9", nullptr, "\xC3\xA9"},                {"\xC3" "1", nullptr, "\xEF\xBF\xBD" "1"},
  };
  for (const Case& c : cases) {
    if (c.text.size() != 2) continue;
    const auto tile = tile_from_code_text(c.text, 0);
    if (c.name != nullptr) {
      ASSERT_TRUE(tile.has_value()) << c.text;
      EXPECT_EQ(tile_name(*tile), c.name);
    } else {
      ASSERT_FALSE(tile.has_value()) << c.text;
      EXPECT_EQ(tile.error(), c.bad_pair);
    }
  }
  EXPECT_EQ(tile_name(*tile_from_code_text("p155115", 3)), "5mr");
}

}  // namespace
}  // namespace paifu
