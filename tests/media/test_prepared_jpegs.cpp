// Pictures prepared for the builds without a JPEG decoder hold what the decoder made of each
// stream, errors included, and survive being written and read back; a damaged file of them
// is refused.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "media/Picture.h"
#include "media/PreparedJpegs.h"
#include "platform/Errors.h"

using namespace tk;

namespace {

std::string SampleJpeg() {
  TPicture p;
  p.Width = 37;
  p.Height = 21;
  for (int i = 0; i < p.Width * p.Height; ++i) p.Pixels.push_back(static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF);
  return EncodeJpeg(p, 85);
}

std::string ErrorOf(const std::string& stream) {
  try {
    DecodeJpeg(stream);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

TEST(PreparedJpegs, HoldTheDecodersPixelsAndErrorsThroughAFile) {
  const std::string good = SampleJpeg();
  const std::string cut = good.substr(0, good.size() / 2);  // the header reads, the pixels not
  const std::string garbage = "\xFF\xD8 not a picture at all";
  std::vector<TPreparedJpeg> prepared;
  for (const std::string* s : {&good, &cut, &garbage}) prepared.push_back(PrepareJpeg(*s));
  const std::vector<TPreparedJpeg> back = ParsePreparedJpegs(SerializePreparedJpegs(prepared));
  ASSERT_EQ(back.size(), 3u);

  const TPicture decoded = DecodeJpeg(good);
  EXPECT_EQ(back[0].Key, JpegStreamKey(good));
  EXPECT_EQ(back[0].StreamSize, good.size());
  EXPECT_EQ(back[0].Width, 37);
  EXPECT_EQ(back[0].Height, 21);
  EXPECT_EQ(back[0].Pixels, decoded.Pixels);
  EXPECT_TRUE(back[0].HeaderError.empty() && back[0].DecodeError.empty());

  // Stopped after the size, the cut stream still decodes as libjpeg does (grey past the
  // end) or fails with its message: either way the prepared answer is the decoder's.
  const std::string cutError = ErrorOf(cut);
  EXPECT_EQ(back[1].DecodeError, cutError);
  EXPECT_TRUE(back[1].HeaderError.empty());
  EXPECT_EQ(back[1].Width, 37);
  if (cutError.empty()) {
    EXPECT_EQ(back[1].Pixels, DecodeJpeg(cut).Pixels);
  }

  EXPECT_EQ(back[2].HeaderError, ErrorOf(garbage));
  EXPECT_NE(back[2].HeaderError.find("JPEG image is invalid"), std::string::npos);
  EXPECT_TRUE(back[2].Pixels.empty());
}

TEST(PreparedJpegs, RefuseADamagedFile) {
  const std::string bytes = SerializePreparedJpegs({PrepareJpeg(SampleJpeg())});
  std::string wrongMagic = bytes, hugeSize = bytes;
  wrongMagic[0] = 'X';
  hugeSize[8 + 4 + 12 + 4 + 4 + 3] = '\x7f';  // the width, past the two empty error texts
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 1), bytes + "x", wrongMagic,
                                     hugeSize, std::string()})
    EXPECT_THROW(ParsePreparedJpegs(damaged), std::runtime_error);
}

}  // namespace
