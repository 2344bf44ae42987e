// Third-party FLI/FLC, AVI, MPEG and WAVE files: every one is described or
// refused with a code, and where the readers measure what ffprobe measures
// (file size, picture size, frame count, rate, sample frames) the values
// agree with what ffprobe 5.1 reported for the same files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "media_support.h"

using namespace media;

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Every media file of the shared folders, sorted.
std::vector<std::string> MediaFiles(const std::string& root)
{
    std::vector<std::string> files;
    for (const char* folder : {"/file-scraper", "/pillow"}) {
        if (!fs::is_directory(root + folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root + folder)) {
            if (!entry.is_regular_file()) continue;
            const std::string ext = Lower(entry.path().extension().string());
            if (ext == ".fli" || ext == ".flc" || ext == ".avi" || ext == ".wav" || ext == ".mpg" || ext == ".m1v" ||
                ext == ".m2v")
                files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class MediaCorpusTest : public MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        root_ = SharedTestData();
        if (root_.empty()) GTEST_SKIP() << "no shared test data";
    }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    std::string root_;
};

}  // namespace

TEST_F(MediaCorpusTest, EveryFileIsDescribedOrRefusedWithACode)
{
    const std::vector<std::string> files = MediaFiles(root_);
    ASSERT_FALSE(files.empty());
    int described = 0, refused = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ErrResetState();
        NothingLeft before;
        TFileInfo info;
        FFInfo(file, info);
        const int32_t code = ErrGet();
        before.Check("FFInfo");
        TUniInfo uni;
        const bool ok = UniInfo(file, uni, true);
        before.Check("UniInfo");
        EXPECT_EQ(ok, code == 0);
        if (code == 0) {
            ++described;
            EXPECT_GT(info.FileSize, 0);
            EXPECT_GE(info.Picture.Frames, 0);
            EXPECT_GE(info.Picture.FramesPerSec, 0);
            EXPECT_EQ(uni.Kind, info.Format == FmtWAV ? 4 : 3);
            EXPECT_EQ(uni.TotalSize, info.FileSize);
        } else {
            ++refused;
            EXPECT_EQ(uni.Kind, 0);
            EXPECT_EQ(WrnGet(), 5002);
        }
    }
    std::printf("[ corpus   ] %d described, %d refused of %zu media files\n", described, refused, files.size());
}

TEST_F(MediaCorpusTest, PicturesAgreeWithFfprobe)
{
    struct Case {
        const char* File;
        int32_t Size, Width, Height, Frames;
        double Rate;
        const char* Compression;
    };
    // ffprobe counts the closing ring frame of a FLIC file, which the
    // header's frame count leaves out (385 and 28 frames read); its rate
    // for 2422.flc is 1000/171, which is 5.8 to one decimal.
    const Case cases[] = {
        {"pillow/a.fli", 102180, 320, 200, 384, 14.0, "RLE + pixel difference from previous frame"},
        {"pillow/2422.flc", 14572, 320, 200, 27, 5.8, "RLE + pixel difference from previous frame"},
        {"file-scraper/video_avi/valid__mpeg2_mp3.avi", 50476, 320, 180, 60, 60.0, "(mpg2)"},
        {"file-scraper/video_mpeg/valid_1.m1v", 21413, 320, 180, 30, 30.0, "MPEG-I, ISO/IEC 11172-2"},
        {"file-scraper/video_mpeg/invalid_1_missing_data.m1v", 21397, 320, 180, 30, 30.0, "MPEG-I, ISO/IEC 11172-2"},
        {"file-scraper/video_mpeg/valid_2.m2v", 23223, 320, 180, 30, 30.0, "MPEG-II, ISO/IEC 13818-2 DIS"},
        {"file-scraper/video_mpeg/invalid_2_missing_data.m2v", 23207, 320, 180, 30, 30.0,
         "MPEG-II, ISO/IEC 13818-2 DIS"},
        {"file-scraper/video_MP1S/valid__mpeg1_mp3.mpg", 376832, 1080, 1920, 33, 30.0, "MPEG-I, ISO/IEC 11172-2"},
        {"file-scraper/video_MP2P/valid__mpeg2_mp3.mpg", 401408, 1080, 1920, 33, 30.0, "MPEG-II, ISO/IEC 13818-2 DIS"},
        {"file-scraper/video_MP2P/invalid__mpeg2_ac3.mpg", 411648, 1080, 1920, 33, 30.0,
         "MPEG-II, ISO/IEC 13818-2 DIS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        TFileInfo info;
        FFInfo(Path(c.File), info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.FileSize, c.Size);
        EXPECT_EQ(info.Picture.Width, c.Width);
        EXPECT_EQ(info.Picture.Height, c.Height);
        EXPECT_EQ(info.Picture.Frames, c.Frames);
        EXPECT_NEAR(info.Picture.FramesPerSec, c.Rate, 1e-9);
        EXPECT_EQ(info.Picture.Compression, c.Compression);
    }

    // The AVI's MP3 sound: 41 blocks of 1152 bytes at 16000 bytes/s, as
    // 16-bit stereo at 44100 Hz (ffprobe: 41 frames, 44100 Hz, 2 channels).
    TFileInfo info;
    FFInfo(Path("file-scraper/video_avi/valid__mpeg2_mp3.avi"), info);
    EXPECT_EQ(info.Sound.Compression, "(#85) MPEG Layer-3");
    EXPECT_EQ(info.Sound.SamplesPerSec, 44100);
    EXPECT_EQ(info.Sound.Channels, 2);
    EXPECT_EQ(info.Sound.Size, 520733);
}

TEST_F(MediaCorpusTest, SoundAgreesWithFfprobe)
{
    struct Case {
        const char* File;
        int32_t Size;
        int32_t SampleFrames;  // ffprobe's duration_ts
        int32_t PcmBytesPerFrame;
    };
    const Case cases[] = {
        {"valid__wav.wav", 75854, 37888, 2},
        {"valid_2_bwf.wav", 76720, 37888, 2},
        // The damage lies behind the data chunk.
        {"invalid_2_bwf_data_bytes_missing.wav", 76717, 37888, 2},
        // A-law: 8-bit stereo that plays as 16-bit stereo.
        {"invalid__pcm_alaw_format.wav", 75868, 37888, 4},
        // The data chunk claims two bytes more than the file holds: ffprobe
        // counts 37887 frames from the header, the file holds 37886.
        {"invalid__data_bytes_missing.wav", 75851, 37886, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        TFileInfo info;
        FFInfo(Path(std::string("file-scraper/audio_x-wav/") + c.File), info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.FileSize, c.Size);
        EXPECT_EQ(info.Sound.SamplesPerSec, 44100);
        EXPECT_EQ(info.Sound.Channels, 2);
        EXPECT_EQ(info.Sound.BitsPerSample, 8);
        EXPECT_EQ(info.Sound.Size, c.SampleFrames * c.PcmBytesPerFrame);
    }
}

TEST_F(MediaCorpusTest, DamagedFilesEndWithTheirCodes)
{
    struct Case {
        const char* File;
        int32_t Code;
    };
    const Case cases[] = {
        {"file-scraper/audio_x-wav/invalid__empty.wav", 10001},
        // Format chunk sizes of 16 MB and 6 MB in files of 75 kB.
        {"file-scraper/audio_x-wav/invalid__RIFF_edited.wav", 10003},
        {"file-scraper/audio_x-wav/invalid_2_bwf_RIFF_edited.wav", 10003},
        {"file-scraper/video_MP1S/invalid__empty.mpg", 9006},
        {"file-scraper/video_mpeg/invalid_1_empty.m1v", 9006},
        {"file-scraper/video_mpeg/invalid_2_empty.m2v", 9006},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        NothingLeft before;
        TFileInfo info;
        FFInfo(Path(c.File), info);
        EXPECT_EQ(ErrGet(), c.Code);
        before.Check(c.File);
    }
}
