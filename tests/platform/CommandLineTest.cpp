#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivra {
namespace {

bool parse(std::vector<const char*> args, CommandLine& out, std::string& error) {
  args.insert(args.begin(), "kivra-player");
  return parseCommandLine(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(CommandLine, EveryOption) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(parse({"--headless", "--frames", "12", "--trace", "--screenshot", "s.png", "--size",
                     "320x240", "--input", "in.txt", "--wav", "o.wav", "--quality", "best",
                     "--dump-display", "--no-fast-paths", "movie.qvx"},
                    c, error))
      << error;
  EXPECT_TRUE(c.headless);
  EXPECT_EQ(*c.frames, 12);
  EXPECT_TRUE(c.trace);
  EXPECT_EQ(c.screenshot, "s.png");
  EXPECT_EQ(c.width, 320);
  EXPECT_EQ(c.height, 240);
  EXPECT_EQ(c.inputFile, "in.txt");
  EXPECT_EQ(c.wavFile, "o.wav");
  EXPECT_EQ(*c.quality, Quality::Best);
  EXPECT_TRUE(c.dumpDisplay);
  EXPECT_TRUE(c.noFastPaths);
  EXPECT_EQ(c.movie, "movie.qvx");
}

TEST(CommandLine, VideoExportAndThumbnails) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(parse({"--export-video", "o.webm", "--frames", "5", "-v", "m.qvx"}, c, error)) << error;
  EXPECT_EQ(c.exportVideo, "o.webm");
  EXPECT_TRUE(c.headless);  // a recording has no window
  EXPECT_TRUE(c.verbose);
  EXPECT_EQ(c.movie, "m.qvx");
  // The thumbnailer's order: SIZE, then the movie, then the PNG.
  CommandLine t;
  ASSERT_TRUE(parse({"--thumbnail", "256", "in.qvx", "out.png"}, t, error)) << error;
  EXPECT_EQ(t.thumbnailSize, 256);
  EXPECT_EQ(t.movie, "in.qvx");
  EXPECT_EQ(t.thumbnailFile, "out.png");
}

TEST(CommandLine, MovieNamesMayHoldSpacesAndFollowDoubleDash) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(parse({"--", "-odd name.qvx"}, c, error));
  EXPECT_EQ(c.movie, "-odd name.qvx");
  EXPECT_FALSE(c.noFastPaths);
}

TEST(CommandLine, SeedStartsTheRandomGenerator) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(parse({"--seed", "2147483647", "m.qvx"}, c, error)) << error;
  ASSERT_TRUE(c.seed.has_value());
  EXPECT_EQ(*c.seed, 2147483647u);
  CommandLine d;
  EXPECT_FALSE(parse({"--seed", "2147483648"}, d, error));
  EXPECT_FALSE(parse({"--seed", "-1"}, d, error));
  EXPECT_FALSE(parse({"--seed"}, d, error));
  CommandLine e;
  ASSERT_TRUE(parse({"m.qvx"}, e, error));
  EXPECT_FALSE(e.seed.has_value());
}

TEST(CommandLine, BadOptionsAreRefused) {
  const std::vector<std::vector<const char*>> bad = {
      {"--frames"},           {"--frames", "-1"},    {"--frames", "x"},
      {"--size", "10"},       {"--size", "0x10"},    {"--quality", "ultra"},
      {"--bogus"},            {"a.qvx", "b.qvx"},    {"--create-projector", "out"},
      {"--thumbnail", "0", "a.qvx", "a.png"},        {"--thumbnail", "128", "a.qvx"},
      {"--thumbnail", "4097", "a.qvx", "a.png"},     {"--export-video"},
      {"--export-video", "o.mp4", "--thumbnail", "64", "a.qvx", "a.png"},
  };
  for (const auto& args : bad) {
    CommandLine c;
    std::string error;
    EXPECT_FALSE(parse(args, c, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace kivra
