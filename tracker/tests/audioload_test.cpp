// RIFF/WAVE reading: header variants and refusals with their messages (kept by
// the reader, never printed), short and lying data sizes, mu-law codes and
// files, reads relative to the data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audioload.h"
#include "riffbytes.h"

using namespace velk;

namespace {

using wavtest::le;
using wavtest::pcm;

// A mono file; `before` goes between "WAVE" and "fmt ", `extra` ends the fmt chunk. The byte
// rate and frame size are those of 16-bit mono whatever the fields, and the RIFF size is 0.
std::string wav(const std::string& data, uint16_t bits = 16, const std::string& before = "",
                const std::string& extra = "", int declared_extra = 0, uint16_t channels = 1) {
  return wavtest::riffhead(0) + before + wavtest::chunkhead("fmt ", 16 + (uint32_t)extra.size()) +
         wavtest::fmtfields(bits == 8 ? 7 : 1, channels, 22050, 44100, 2, bits) + extra +
         wavtest::chunkhead("data", (uint32_t)data.size() + declared_extra) + data;
}

const std::vector<int16_t> kRamp = {0, 1, -1, 32767, -32768, 1234, -4321, 7};

class WaveRead : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wave_test_XXXXXX";
    close(mkstemp(tmpl));
    path_ = tmpl;
  }
  void TearDown() override { remove(path_.c_str()); }

  // Loads the bytes as a file; the reader's message lands in err_, and nothing may be printed.
  bool load(const std::string& bytes, std::vector<int16_t>* s, int32_t* rate, wavecodingtype t = PCM16) {
    FILE* f = fopen(path_.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    fileresource fr(path_, "rb");
    EXPECT_EQ(fr.get(), 0);
    waveio io(t);
    ::testing::internal::CaptureStderr();
    const bool ok = io.load(&fr, s, rate) == 0;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    err_ = io.error();
    return ok;
  }

  std::string path_, err_;
};

TEST_F(WaveRead, HeaderVariantsThatLoad) {
  const std::string bext = "bext" + le(5, 4) + "abcde";
  const std::string list_after_fmt = std::string(2, '\0') + "LIST" + le(4, 4) + "INFO";
  // Other chunks are skipped wherever they stand, odd sizes with their pad byte.
  const std::string list = "LIST" + le(4, 4) + "INFO",
                    junk = "JUNK" + le(3, 4) + "abc" + std::string(1, '\0');
  std::string between = wav(pcm(kRamp));
  between.insert(between.find("data"), "fact" + le(4, 4) + le(8, 4) + junk);
  for (const std::string& bytes :
       {wav(pcm(kRamp)), wav(pcm(kRamp), 16, bext), wav(pcm(kRamp), 16, list + junk), between,
        wav(pcm(kRamp), 16, "", std::string(2, '\0')),  // 18-byte fmt
        wav(pcm(kRamp), 16, "", list_after_fmt)}) {
    std::vector<int16_t> s;
    int32_t rate = 0;
    ASSERT_TRUE(load(bytes, &s, &rate)) << err_;
    EXPECT_EQ(s, kRamp);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(err_, "");
  }
}

TEST_F(WaveRead, RefusedHeadersKeepTheOutputsAndSayWhy) {
  std::string short_fmt = wav(""), not_riff = wav(""), no_data = wav(""), hidden = wav("");
  short_fmt[16] = 15;
  hidden.insert(hidden.find("data"), "d");  // "ddata": the scan never backs up
  not_riff[0] = 'X';
  no_data.resize(no_data.size() - 8);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {wav("", 16, "LIST" + le(40, 4)), "Invalid file: fmt chunk not found"},
      {wav("", 16, "", "", 0, 2), "Attempt to load multi channel audio"},
      {wav("", 16, "bext" + le(0, 4) + "LIST"), "Invalid file: fmt chunk not found"},
      {short_fmt, "Invalid of the wave format buffer"},
      {no_data, "Unexpected end of file: no data"},
      {hidden, "Unexpected end of file: no data"},
      {not_riff, "Invalid file: Expected \"RIFF\" in header"},
      {std::string("RIFF\0\0\0\0WAVX", 12), "Invalid file: Expected \"WAVE\" in header"},
      {"RIFF\1\0", "Failed to read file length"},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> s = {5};
    int32_t rate = 99;
    EXPECT_FALSE(load(c.first, &s, &rate));
    EXPECT_EQ(err_, c.second);
    EXPECT_EQ(rate, 99);
    EXPECT_EQ(s, std::vector<int16_t>{5});
  }
}

// A short data chunk is reported; a size near 2 GB in a small file allocates
// only what the file holds.
TEST_F(WaveRead, ShortAndLyingDataSizes) {
  std::vector<int16_t> s;
  int32_t rate = 0;
  EXPECT_FALSE(load(wav(pcm({100, 200, 300}), 16, "", "", 4), &s, &rate));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 3 out of 5 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{100, 200, 300}));
  EXPECT_FALSE(load(wav(pcm({7, 8}), 16, "", "", 0x7FFFFFF0), &s, &rate));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 2 out of 1073741818 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{7, 8}));
  EXPECT_LT(s.capacity(), 1000u);
}

TEST(Ulaw, CodeValues) {
  EXPECT_EQ(ulawcodec::ulawtoint16(0xFF), 0);
  EXPECT_EQ(ulawcodec::ulawtoint16(0x00), -8031);
  EXPECT_EQ(ulawcodec::ulawtoint16(0x80), 8031);
  EXPECT_EQ(ulawcodec::ulawtoint16(0xFE), 2);  // first step of segment 0: (8 + 132 - 132) / 4
  EXPECT_EQ(ulawcodec::int16toulaw(0), 0xFF);
  EXPECT_EQ(ulawcodec::int16toulaw(8159), 0x80);
  // Beyond the 14-bit range the outermost codes are kept, -32768 included.
  EXPECT_EQ(ulawcodec::int16toulaw(32767), 0x80);
  EXPECT_EQ(ulawcodec::int16toulaw(-32768), 0x00);
  // Every code but negative zero (0x7F, which decodes to 0) survives decoding then encoding.
  for (int code = 0; code < 256; code++) {
    if (code == 0x7F) continue;
    EXPECT_EQ(ulawcodec::int16toulaw(ulawcodec::ulawtoint16((uint8_t)code)), code);
  }
}

TEST_F(WaveRead, UlawFilesGiveOneSamplePerByte) {
  std::vector<int16_t> s;
  int32_t rate = 0;
  ASSERT_TRUE(load(wav(std::string("\xFF\x00\x80\xFE\x7F", 5), 8), &s, &rate, ULAW8)) << err_;
  EXPECT_EQ(s, (std::vector<int16_t>{0, -8031, 8031, 2, 0}));
  EXPECT_FALSE(load(wav(std::string("\x00\x80", 2), 8, "", "", 3), &s, &rate, ULAW8));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 2 out of 5 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{-8031, 8031}));
  EXPECT_FALSE(load(wav("abcd", 8), &s, &rate, PCM8));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: Unsupported coding type (1)");
}

// A stream of unknown length (a pipe) gets the entries a short read misses zeroed.
TEST(WavePipe, ShortReadLeavesZeros) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "\x05\x00\x06\x00", 4), 4);
  close(fds[1]);
  fileresource fr("/dev/fd/" + std::to_string(fds[0]), "rb");
  ASSERT_EQ(fr.get(), 0);
  close(fds[0]);
  std::vector<int16_t> s(1, 9);
  wavriffcodec codec;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(codec.readaudiodata(0, 4, &s, &fr), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(codec.error(), "WaveIO::ReadSamples: only 2 out of 4 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{5, 6, 0, 0}));
}

TEST_F(WaveRead, ReadsAreRelativeToTheStartOfTheData) {
  std::vector<int16_t> s;
  int32_t count = 0, rate = 0;
  ASSERT_TRUE(load(wav(pcm(kRamp)), &s, &rate));
  fileresource fr(path_, "rb");
  ASSERT_EQ(fr.get(), 0);
  waveio io;
  ASSERT_EQ(io.readheader(&fr, &count, &rate), 0);
  EXPECT_EQ(count, 8);
  ASSERT_EQ(io.readaudiodata(3, 2, &s, &fr), 0);
  EXPECT_EQ(s, (std::vector<int16_t>{32767, -32768}));
  ASSERT_EQ(io.readaudiocontainer(6, &s, &fr), 0);
  EXPECT_EQ(s, (std::vector<int16_t>{0, 1, -1}));
  EXPECT_EQ(io.error(), "");
  // Each refusal is kept by the reader until its next call; nothing is printed.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(io.readaudiodata(0, 1, nullptr, &fr), -1);
  EXPECT_EQ(io.error(), "CodecApi::ReadAudioData: empty pointer was given");
  ASSERT_EQ(io.readaudiodata(0, 1, &s, &fr), 0);
  EXPECT_EQ(io.error(), "");
  EXPECT_EQ(io.readaudiodata(-1, 1, &s, &fr), -1);
  EXPECT_EQ(io.error(), "WaveIO::ReadSamples: invalid sample range -1, 1");
  waveio varb(VARB_20kbps);
  EXPECT_EQ(varb.error(), "WaveIO:WaveIO: unknown coding type 4");
  EXPECT_EQ(varb.readheader(&fr, &count, &rate), -1);
  EXPECT_EQ(varb.error(), "WaveIO:ReadHeader: unknown coding type 4");
  EXPECT_EQ(varb.readaudiodata(0, 1, &s, &fr), -1);
  EXPECT_EQ(varb.error(), "WaveIO:ReadAudioData: unknown coding type 4");
  EXPECT_EQ(varb.readaudiocontainer(2, &s, &fr), -1);
  EXPECT_EQ(varb.error(), "WaveIO: coding type not supported 4");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
