// RIFF/WAVE reading: header variants, refusals with their messages, 16-bit and
// mu-law sample data, the mu-law code values and the file position after reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "brindel/wave/audioload.h"

namespace {

void put32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; i++) s->push_back((char)(v >> (8 * i) & 0xFF));
}
void put16(std::string* s, uint16_t v) {
  s->push_back((char)(v & 0xFF));
  s->push_back((char)(v >> 8));
}

// Pieces of a RIFF/WAVE file whose parts the tests vary.
struct WavSpec {
  std::string before_fmt;  // chunks placed before "fmt "
  uint16_t channels = 1;
  uint32_t rate = 16000;
  uint16_t bits = 16;
  std::string fmt_extra;   // bytes beyond the 16 standard ones of the fmt chunk
  std::string after_fmt;   // chunks between "fmt " and "data"
  std::string data;
  int declared_extra = 0;  // added to the true data size in the data header
};

std::string wav_bytes(const WavSpec& w) {
  std::string s = "RIFF";
  put32(&s, 0);
  s += "WAVE" + w.before_fmt + "fmt ";
  put32(&s, 16 + (uint32_t)w.fmt_extra.size());
  put16(&s, w.bits == 8 ? 7 : 1);
  put16(&s, w.channels);
  put32(&s, w.rate);
  put32(&s, w.rate * w.channels * w.bits / 8);
  put16(&s, w.channels * w.bits / 8);
  put16(&s, w.bits);
  s += w.fmt_extra + w.after_fmt + "data";
  put32(&s, (uint32_t)((int)w.data.size() + w.declared_extra));
  return s + w.data;
}

std::string pcm_data(const std::vector<int16_t>& v) {
  std::string s;
  for (int16_t x : v) put16(&s, (uint16_t)x);
  return s;
}

class WaveRead : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wave_test_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = tmpl;
  }
  void TearDown() override { remove(path_.c_str()); }

  void write(const std::string& bytes) const {
    FILE* f = fopen(path_.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }

  // Loads the file with the given coding; the diagnostics land in err_.
  bool load(const std::string& bytes, std::vector<int16_t>* samples, int32_t* rate,
            WaveCodingType type = PCM16) {
    write(bytes);
    FileResource fr(path_, "rb");
    EXPECT_TRUE(fr.Get());
    WaveIO io(type);
    ::testing::internal::CaptureStderr();
    const bool ok = io.Load(&fr, samples, rate);
    err_ = ::testing::internal::GetCapturedStderr();
    return ok;
  }

  std::string path_, err_;
};

const std::vector<int16_t> kRamp = {0, 1, -1, 32767, -32768, 1234, -4321, 7};

TEST_F(WaveRead, PlainPcmLoadsEverySampleAndTheRate) {
  WavSpec w;
  w.rate = 22050;
  w.data = pcm_data(kRamp);
  std::vector<int16_t> s;
  int32_t rate = 0;
  ASSERT_TRUE(load(wav_bytes(w), &s, &rate)) << err_;
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(s, kRamp);
  EXPECT_EQ(err_, "");
}

TEST_F(WaveRead, HeaderVariantsThatLoad) {
  WavSpec bext;
  bext.before_fmt = "bext";
  put32(&bext.before_fmt, 5);
  bext.before_fmt += "abcde";
  WavSpec ext;
  ext.fmt_extra = std::string("\0\0", 2);  // fmt of 18 bytes with an empty extension
  WavSpec list;
  list.after_fmt = "LIST";
  put32(&list.after_fmt, 4);
  list.after_fmt += "INFO";
  for (WavSpec* w : {&bext, &ext, &list}) {
    w->data = pcm_data(kRamp);
    std::vector<int16_t> s;
    int32_t rate = 0;
    ASSERT_TRUE(load(wav_bytes(*w), &s, &rate)) << err_;
    EXPECT_EQ(s, kRamp);
    EXPECT_EQ(rate, 16000);
  }
}

TEST_F(WaveRead, RefusedHeadersKeepTheOutputsAndSayWhy) {
  struct Bad {
    std::string bytes, message;
  };
  WavSpec list_first;
  list_first.before_fmt = "LIST";
  put32(&list_first.before_fmt, 0);
  WavSpec stereo;
  stereo.channels = 2;
  WavSpec bext_alone;
  bext_alone.before_fmt = "bext";
  put32(&bext_alone.before_fmt, 0);
  bext_alone.before_fmt += "LIST";
  std::string short_fmt = wav_bytes(WavSpec());
  short_fmt[16] = 15;
  std::string no_data = wav_bytes(WavSpec());
  no_data.resize(no_data.size() - 8);
  // A 'd' directly before "data" hides the chunk from the scan.
  WavSpec hidden;
  hidden.after_fmt = "d";
  std::string not_riff = wav_bytes(WavSpec());
  not_riff[0] = 'X';
  std::string not_wave = wav_bytes(WavSpec());
  not_wave[8] = 'X';
  const std::vector<Bad> cases = {
      {wav_bytes(list_first), "Invalid file: RIFF type must be fmt or bext"},
      {wav_bytes(stereo), "Attempt to load multi channel audio"},
      {wav_bytes(bext_alone), "Invalid file: fmt subtype not found in bext header"},
      {short_fmt, "Invalid of the wave format buffer"},
      {no_data, "Unexpected end of file: no data"},
      {wav_bytes(hidden), "Unexpected end of file: no data"},
      {not_riff, "Invalid file: Expected \"RIFF\" in header"},
      {not_wave, "Invalid file: Expected \"WAVE\" in header"},
      {"RIFF\1\0", "Failed to read file length"},
      {std::string("RIFF\0\0\0\0WAVE", 12), "Invalid file: Missing RIFF type header"},
  };
  for (const Bad& b : cases) {
    std::vector<int16_t> s = {5};
    int32_t rate = 99;
    EXPECT_FALSE(load(b.bytes, &s, &rate));
    EXPECT_EQ(err_, b.message);
    EXPECT_EQ(rate, 99);
    EXPECT_EQ(s, std::vector<int16_t>{5});
  }
}

TEST_F(WaveRead, ShortDataChunkIsReported) {
  WavSpec w;
  w.data = pcm_data({100, 200, 300});
  w.declared_extra = 4;  // two samples promised but absent
  std::vector<int16_t> s;
  int32_t rate = 0;
  EXPECT_FALSE(load(wav_bytes(w), &s, &rate));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 3 out of 5 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{100, 200, 300}));
}

// A data size near 2 GB (0x3FFFFFFA samples) in a small file: reported, and storage stays the size of the file.
TEST_F(WaveRead, LyingDataSizeAllocatesOnlyWhatIsThere) {
  WavSpec w;
  w.data = pcm_data({7, 8});
  w.declared_extra = 0x7FFFFFF0;
  std::vector<int16_t> s;
  int32_t rate = 0;
  EXPECT_FALSE(load(wav_bytes(w), &s, &rate));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 2 out of 1073741818 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{7, 8}));
  EXPECT_LT(s.capacity(), 1000u);
}

// A stream of unknown length (a pipe) still gets its unread entries zeroed.
TEST(WavePipe, ShortReadFromAPipeLeavesZeros) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string data = pcm_data({5, 6});
  ASSERT_EQ(write(fds[1], data.data(), data.size()), (ssize_t)data.size());
  close(fds[1]);
  FileResource fr("/dev/fd/" + std::to_string(fds[0]), "rb");
  ASSERT_TRUE(fr.Get());
  close(fds[0]);
  WavRiffCodec codec;
  std::vector<int16_t> s(1, 9);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(codec.ReadAudioData(0, 4, &s, &fr));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "WaveIO::ReadSamples: only 2 out of 4 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{5, 6, 0, 0}));
}

TEST(Ulaw, CodeValues) {
  EXPECT_EQ(UlawCodec::UlawToInt16(0xFF), 0);
  EXPECT_EQ(UlawCodec::UlawToInt16(0x7F), 0);
  EXPECT_EQ(UlawCodec::UlawToInt16(0x00), -8031);
  EXPECT_EQ(UlawCodec::UlawToInt16(0x80), 8031);
  EXPECT_EQ(UlawCodec::UlawToInt16(0xFE), 2);  // first step of segment 0: (8 + 132 - 132) / 4
  EXPECT_EQ(UlawCodec::Int16ToUlaw(0), 0xFF);
  EXPECT_EQ(UlawCodec::Int16ToUlaw(8159), 0x80);
  EXPECT_EQ(UlawCodec::Int16ToUlaw(-8159), 0x00);
  // Beyond the 14-bit range the outermost codes are kept, the most negative value included.
  EXPECT_EQ(UlawCodec::Int16ToUlaw(32767), 0x80);
  EXPECT_EQ(UlawCodec::Int16ToUlaw(-32768), 0x00);
  const int16_t table[3] = {10, 20, 30};
  EXPECT_EQ(UlawCodec::SegmentSearch(10, table, 3), 0);
  EXPECT_EQ(UlawCodec::SegmentSearch(11, table, 3), 1);
  EXPECT_EQ(UlawCodec::SegmentSearch(31, table, 3), 3);
}

// Encoding then decoding returns every code: each code's value encodes to it.
TEST(Ulaw, EveryCodeSurvivesDecodeThenEncode) {
  for (int code = 0; code < 256; code++) {
    if (code == 0x7F) continue;  // negative zero: encodes as positive zero 0xFF
    EXPECT_EQ(UlawCodec::Int16ToUlaw(UlawCodec::UlawToInt16((uint8_t)code)), code) << code;
  }
}

TEST_F(WaveRead, UlawFileGivesOneSamplePerByte) {
  WavSpec w;
  w.bits = 8;
  w.data = std::string("\xFF\x00\x80\xFE\x7F", 5);
  std::vector<int16_t> s;
  int32_t rate = 0;
  ASSERT_TRUE(load(wav_bytes(w), &s, &rate, ULAW8)) << err_;
  EXPECT_EQ(s, (std::vector<int16_t>{0, -8031, 8031, 2, 0}));
}

TEST_F(WaveRead, ShortUlawReadKeepsWhatWasRead) {
  WavSpec w;
  w.bits = 8;
  w.data = std::string("\x00\x80", 2);
  w.declared_extra = 3;
  std::vector<int16_t> s(9, 77);
  int32_t rate = 0;
  EXPECT_FALSE(load(wav_bytes(w), &s, &rate, ULAW8));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: only 2 out of 5 values read");
  EXPECT_EQ(s, (std::vector<int16_t>{-8031, 8031}));
}

TEST_F(WaveRead, ReadsAreRelativeToTheStartOfTheData) {
  WavSpec w;
  w.data = pcm_data(kRamp);
  write(wav_bytes(w));
  FileResource fr(path_, "rb");
  ASSERT_TRUE(fr.Get());
  WaveIO io;
  int32_t count = 0, rate = 0;
  ASSERT_TRUE(io.ReadHeader(&fr, &count, &rate));
  EXPECT_EQ(count, 8);
  std::vector<int16_t> s;
  ASSERT_TRUE(io.ReadAudioData(3, 2, &s, &fr));
  EXPECT_EQ(s, (std::vector<int16_t>{32767, -32768}));
  ASSERT_TRUE(io.ReadAudioData(1, 1, &s, &fr));
  EXPECT_EQ(s, std::vector<int16_t>{1});
  ASSERT_TRUE(io.ReadAudioContainer(6, &s, &fr));
  EXPECT_EQ(s, (std::vector<int16_t>{0, 1, -1}));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(io.ReadAudioData(0, 1, nullptr, &fr));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "CodecApi::ReadAudioData: empty pointer was given");
}

TEST_F(WaveRead, CodingTypes) {
  WavRiffCodec codec;
  EXPECT_TRUE(codec.Initialize(PCM8));
  EXPECT_FALSE(codec.Initialize(VARB_18kbps));
  ::testing::internal::CaptureStderr();
  WaveIO varb(VARB_20kbps);
  int32_t count = 0, rate = 0;
  std::vector<int16_t> s;
  FileResource fr(path_, "rb");
  ASSERT_TRUE(fr.Get());
  EXPECT_FALSE(varb.ReadHeader(&fr, &count, &rate));
  EXPECT_FALSE(varb.ReadAudioData(0, 1, &s, &fr));
  EXPECT_FALSE(varb.ReadAudioContainer(2, &s, &fr));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "WaveIO:WaveIO: unknown coding type 4WaveIO:ReadHeader: unknown coding type 4"
            "WaveIO:ReadAudioData: unknown coding type 4WaveIO: coding type not supported 4");

  WavSpec w;
  w.bits = 8;
  w.data = "abcd";
  EXPECT_FALSE(load(wav_bytes(w), &s, &rate, PCM8));
  EXPECT_EQ(err_, "WaveIO::ReadSamples: Unsupported coding type (1)");
}

TEST(FileHolder, OpensOnDemandAndReportsEnd) {
  FileResource absent("/nonexistent/dir/file.wav", "rb");
  EXPECT_EQ(absent.fp(), nullptr);
  EXPECT_FALSE(absent.Get());
  EXPECT_TRUE(absent.eof());
  FileResource null_dev("/dev/null", "rb");
  ASSERT_TRUE(null_dev.Get());
  EXPECT_FALSE(null_dev.eof());
  EXPECT_EQ(fgetc(null_dev.fp()), EOF);
  EXPECT_TRUE(null_dev.eof());
}

}  // namespace
