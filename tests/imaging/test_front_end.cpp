#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/data_source.h"
#include "imaging/pic_decoder.h"
#include "imaging/text_exception.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "folv_front_end_XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(path_ / "locked.png", fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        fs::path p = path_ / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path Path() const { return path_; }

  private:
    fs::path path_;
};

Bytes Padded(Bytes head, std::size_t size) {
    head.resize(size, 0);
    return head;
}

template <class F>
PLTextException Catch(F&& f) {
    try {
        f();
    } catch (const PLTextException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return PLTextException(0, "");
}

struct DetectCase {
    const char* name;
    Bytes bytes;
    std::size_t size;  // 0: the byte count
    PLFileType expected;
};

TEST(DetectFileType, FollowsTheTableInOrder) {
    Bytes pict = Padded({}, 600);
    pict[522] = 0x00, pict[523] = 0x11, pict[524] = 0x02, pict[525] = 0xFF;
    Bytes pictV1 = Padded({}, 541);
    pictV1[522] = 0x00, pictV1[523] = 0x11, pictV1[524] = 0x01, pictV1[525] = 0x77;
    Bytes pictOld = Padded({}, 541);
    pictOld[522] = 0x11, pictOld[523] = 0x01, pictOld[524] = 0x01, pictOld[525] = 0x00;
    Bytes pictShort(pict.begin(), pict.begin() + 540);
    Bytes eps = Padded({0xC5, 0xD0, 0xD3, 0xC6}, 32);
    eps[20] = 30, eps[24] = 2;
    Bytes epsNoTiff = eps;
    epsNoTiff[24] = 0;
    Bytes epsSwapped = eps;
    epsSwapped[0] = 0xC6, epsSwapped[1] = 0xD3, epsSwapped[2] = 0xD0, epsSwapped[3] = 0xC5;
    Bytes tga = Padded({0, 0, 2, 0, 0, 0, 0, 0}, 18);
    tga[16] = 24;
    Bytes tgaNo16 = Padded({0, 0, 2}, 16);  // byte 16 missing counts as 0
    Bytes tgaRle = tga;
    tgaRle[2] = 10, tgaRle[7] = 15, tgaRle[16] = 32;
    Bytes tgaBadType = tga;
    tgaBadType[2] = 4;

    const DetectCase cases[] = {
        {"bmp", {'B', 'M', 0, 0}, 0, PLFileType::Bmp},
        {"bmp array", {'B', 'A'}, 0, PLFileType::Bmp},
        {"os2 icon", {'I', 'C'}, 0, PLFileType::Bmp},
        {"os2 colour icon", {'C', 'I'}, 0, PLFileType::Bmp},
        {"os2 pointer", {'C', 'P'}, 0, PLFileType::Bmp},
        {"tga", tga, 0, PLFileType::Tga},
        {"tga rle", tgaRle, 0, PLFileType::Tga},
        {"tga byte 16 beyond end", tgaNo16, 0, PLFileType::Unknown},
        {"tga image type 4", tgaBadType, 0, PLFileType::Unknown},
        {"gif", {'G', 'I', 'F', '8', '9', 'a'}, 0, PLFileType::Gif},
        {"tiff intel", {0x49, 0x49, 0x2A, 0x00}, 0, PLFileType::Tiff},
        {"tiff motorola", {0x4D, 0x4D, 0x00, 0x2A}, 0, PLFileType::Tiff},
        {"pict v2", pict, 0, PLFileType::Pict},
        {"pict v1 any byte", pictV1, 0, PLFileType::Pict},
        {"pict old", pictOld, 0, PLFileType::Pict},
        {"pict of 540 bytes", pictShort, 0, PLFileType::Unknown},
        {"pict bytes but size 540", pict, 540, PLFileType::Unknown},
        {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0}, 0, PLFileType::Jpeg},
        {"png, not tga", {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}, 0, PLFileType::Png},
        {"eps with tiff", eps, 0, PLFileType::EpsTiff},
        {"eps swapped", epsSwapped, 0, PLFileType::EpsTiff},
        {"eps without tiff", epsNoTiff, 0, PLFileType::Unknown},
        {"pcx", {0x0A, 5, 1, 8}, 0, PLFileType::Pcx},
        {"pgm raw", {'P', '5', '\n'}, 0, PLFileType::Pgm},
        {"pgm plain", {'P', '2'}, 0, PLFileType::Pgm},
        {"ppm plain", {'P', '3'}, 0, PLFileType::Ppm},
        {"ppm raw", {'P', '6'}, 0, PLFileType::Ppm},
        {"pbm", {'P', '4'}, 0, PLFileType::Unknown},
        {"psd", {'8', 'B', 'P', 'S', 0, 1}, 0, PLFileType::Psd},
        {"text", {'h', 'e', 'l', 'l', 'o'}, 0, PLFileType::Unknown},
        {"empty", {}, 0, PLFileType::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PLAnyPicDecoder::DetectFileType(c.bytes, c.size ? c.size : c.bytes.size()),
                  c.expected);
    }
    // Bytes beyond the file's size do not count, whatever the buffer holds.
    EXPECT_EQ(PLAnyPicDecoder::DetectFileType(Bytes{'B', 'M'}, 1), PLFileType::Unknown);
}

TEST(DataSource, ReadingPastTheEndThrowsAndDoesNotMove) {
    const Bytes data = {1, 2, 3, 4, 5, 6};
    PLMemSource source;
    ASSERT_EQ(source.Open(data.data(), data.size()), 0);
    EXPECT_EQ(source.GetName(), "Mem");
    EXPECT_EQ(source.ReadLE16(), 0x0201);
    EXPECT_EQ(source.ReadBE16(), 0x0304);
    EXPECT_EQ(source.GetBytesRead(), 4u);
    PLTextException e = Catch([&] { source.ReadBytes(3); });
    EXPECT_EQ(e.GetCode(), PL_ERREND_OF_FILE);
    EXPECT_EQ(e.GetMessage(), "End of file reached while decoding.\n");
    EXPECT_EQ(source.GetBytesRead(), 4u);
    EXPECT_THROW(source.ReadBytes(SIZE_MAX), PLTextException);

    EXPECT_EQ(source.PeekBytes(10).size(), 2u);
    EXPECT_EQ(source.PeekPadded(4), (Bytes{5, 6, 0, 0}));
    EXPECT_EQ(source.RemainingBytes().size(), 2u);
    EXPECT_EQ(source.ReadByte(), 5);
    EXPECT_EQ(source.ReadByte(), 6);
    EXPECT_EQ(source.ReadBytes(0), data.data() + 6);
    EXPECT_THROW(source.ReadByte(), PLTextException);
}

TEST(DataSource, CheckedBytesRefuseEveryAccessPastTheirEnd) {
    const Bytes data = {0x12, 0x34, 0x56, 0x78, 0x9A};
    PLMemSource source;
    source.Open(data.data(), data.size());
    PLBytes header = source.ReadChecked(4);
    EXPECT_EQ(header.LE32(0), 0x78563412u);
    EXPECT_EQ(header.BE32(0), 0x12345678u);
    EXPECT_EQ(header[3], 0x78);
    EXPECT_EQ(Catch([&] { (void)header[4]; }).GetCode(), PL_ERREND_OF_FILE);
    EXPECT_THROW((void)header.LE16(3), PLTextException);
    EXPECT_THROW((void)header.Sub(2, SIZE_MAX), PLTextException);
    EXPECT_EQ(header.Sub(1, 2).BE16(0), 0x3456);
}

TEST(DataSource, ReportsProgressEveryKilobyteAndOnClose) {
    struct Recorder : DecodeProgress {
        std::vector<double> parts;
        void OnProgress(double part) override { parts.push_back(part); }
    } recorder;
    TempFolder folder;
    std::string path = folder.Write("data.bin", Bytes(4096, 7));
    PLFileSource source(&recorder);
    ASSERT_EQ(source.Open(path.c_str()), 0);
    EXPECT_EQ(source.GetSize(), 4096u);
    EXPECT_EQ(source.GetName(), path);
    source.ReadBytes(1000);
    EXPECT_TRUE(recorder.parts.empty());
    source.ReadBytes(100);
    source.ReadBytes(2000);
    source.Close();
    EXPECT_EQ(recorder.parts, (std::vector<double>{1100.0 / 4096, 3100.0 / 4096, 1.0}));
    EXPECT_EQ(source.GetSize(), 0u);
}

TEST(FileSource, BytesStayWhenTheFileIsShortenedMeanwhile) {
    TempFolder folder;
    std::string path = folder.Write("growing.png", Bytes(10000, 0x5A));
    PLFileSource source;
    ASSERT_EQ(source.Open(path.c_str()), 0);
    fs::resize_file(path, 0);
    const std::uint8_t* bytes = source.ReadBytes(10000);
    EXPECT_EQ(bytes[9999], 0x5A);
}

TEST(FileSource, OpenFailuresGiveTheirCodes) {
    TempFolder folder;
    std::string empty = folder.Write("empty.png", {});
    std::string locked = folder.Write("locked.png", {1, 2, 3});
    fs::permissions(locked, fs::perms::none);
    std::string fifo = (folder.Path() / "pipe.png").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string path;
        std::int32_t code;
    };
    std::vector<Case> cases = {
        {empty, PL_ERRACCESS_DENIED},
        {(folder.Path() / "missing.png").string(), PL_ERRFILE_NOT_FOUND},
        {(folder.Path() / "nofolder" / "x.png").string(), PL_ERRPATH_NOT_FOUND},
        {empty + "/below", PL_ERRPATH_NOT_FOUND},
        {folder.Path().string(), PL_ERRACCESS_DENIED},
        {fifo, PL_ERRACCESS_DENIED},  // must not wait for a writer
    };
    if (geteuid() != 0)
        cases.push_back({locked, PL_ERRACCESS_DENIED});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PLFileSource source;
        EXPECT_EQ(source.Open(c.path.c_str()), c.code);
        PLAnyPicDecoder decoder;
        CWinBmpEx bmp;
        PLTextException e = Catch([&] { decoder.DecodeFile(c.path.c_str(), bmp); });
        EXPECT_EQ(e.GetCode(), c.code);
        EXPECT_EQ(e.GetMessage(), "Decoder error: Opening " + c.path + " failed\n");
    }
}

TEST(FrontEnd, UnknownContentFailsWithCode8) {
    TempFolder folder;
    std::string text = folder.Write("notes.txt", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
    PLAnyPicDecoder decoder;
    CWinBmpEx bmp;
    PLTextException e = Catch([&] { decoder.DecodeFile(text.c_str(), bmp); });
    EXPECT_EQ(e.GetCode(), PL_ERRUNKNOWN_FILE_TYPE);
    EXPECT_EQ(e.GetMessage(), "Decoder error: Unknown file type.\n");
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Unknown);
}

// Decoders land one by one: a recognised file either decodes or reports code 12; either way
// the front end must have chosen the right format.
void ExpectChosen(PLAnyPicDecoder& decoder, const std::string& path, PLFileType type) {
    CWinBmpEx bmp;
    try {
        decoder.DecodeFile(path.c_str(), bmp);
    } catch (const PLTextException& e) {
        if (e.GetCode() == PL_ERRFORMAT_NOT_COMPILED) {
            EXPECT_EQ(e.GetMessage(), "Decoder error: Library not compiled for this file type.\n");
        }
    }
    EXPECT_EQ(decoder.GetFileType(), type) << path;
}

TEST(FrontEnd, MetafilesAreKnownByNameOthersByContent) {
    TempFolder folder;
    const Bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16};
    const Bytes bmp = {'B', 'M', 1, 2};
    PLAnyPicDecoder decoder;
    ExpectChosen(decoder, folder.Write("PLAN.WMF.PNG", png), PLFileType::Wmf);
    ExpectChosen(decoder, folder.Write("plan.wmf", png), PLFileType::Wmf);
    ExpectChosen(decoder, folder.Write("Logo.Emf", bmp), PLFileType::Emf);
    ExpectChosen(decoder, folder.Write("both.emf.wmf", bmp), PLFileType::Wmf);
    ExpectChosen(decoder, folder.Write("photo.bmp", jpeg), PLFileType::Jpeg);
    ExpectChosen(decoder, folder.Write("picture.jpg", bmp), PLFileType::Bmp);
    ExpectChosen(decoder, folder.Write("image.tga", png), PLFileType::Png);
    // A type the front end recognises is never left open: the next decode starts clean.
    ExpectChosen(decoder, folder.Write("again.png", png), PLFileType::Png);
}

// A decoder of a fixed description that records what the base asks of it.
class FakeDecoder : public PLPicDecoder {
  public:
    PLBmpInfo description{4, 2, 8, PLPoint{3, 4}, false, true};
    bool failInPixels = false;
    bool outOfMemory = false;
    int opens = 0, closes = 0, pixelCalls = 0;

    void Open(PLDataSource* source) override {
        ++opens;
        source->ReadBytes(2);
        SetBmpInfo(description);
    }
    void DecodePixels(PLBmp& bmp) override {
        ++pixelCalls;
        EXPECT_EQ(bmp.GetWidth(), width);
        EXPECT_EQ(bmp.GetBitsPerPixel(), bitsPerPixel);
        if (failInPixels)
            GetDataSource()->ReadBytes(1000);
        if (outOfMemory)
            throw std::bad_alloc();
        bmp.GetPaletteEntries()[1] = RGBQuad{10, 20, 30, 40};
        bmp.GetLineArray()[1][3] = 1;
    }
    void Close() override {
        ++closes;
        PLPicDecoder::Close();
    }
};

TEST(PicDecoder, DecodesAtTheAskedDepthOrRefuses) {
    const Bytes data = {1, 2, 3};
    FakeDecoder decoder;
    CWinBmpEx bmp;
    decoder.DecodeMemory(data.data(), data.size(), bmp);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_TRUE(bmp.IsGreyscale());
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{3, 4}));
    EXPECT_EQ(bmp.GetLineArray()[1][3], 1);
    EXPECT_EQ(decoder.closes, 1);
    EXPECT_EQ(decoder.GetDataSource(), nullptr);

    decoder.DecodeMemory(data.data(), data.size(), bmp, 32);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_EQ(bmp.GetPixel(3, 1), (Pixel32{10, 20, 30, 40}));
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{3, 4}));

    PLTextException e = Catch([&] { decoder.DecodeMemory(data.data(), data.size(), bmp, 4); });
    EXPECT_EQ(e.GetCode(), PL_ERRFORMAT_NOT_SUPPORTED);
    EXPECT_EQ(e.GetMessage(), "Decoder error: Image bit depth doesn't match request.\n");
    EXPECT_EQ(decoder.closes, 3);
}

TEST(PicDecoder, FailuresCloseTheSourceAndOversizedPicturesAreRefused) {
    const Bytes data = {1, 2, 3};
    FakeDecoder decoder;
    CWinBmpEx bmp;
    decoder.failInPixels = true;
    EXPECT_EQ(Catch([&] { decoder.DecodeMemory(data.data(), data.size(), bmp); }).GetCode(),
              PL_ERREND_OF_FILE);
    EXPECT_EQ(decoder.closes, 1);
    EXPECT_EQ(decoder.GetDataSource(), nullptr);
    EXPECT_EQ(Catch([&] { decoder.DecodeMemory(data.data(), 1, bmp); }).GetCode(),
              PL_ERREND_OF_FILE);
    EXPECT_EQ(decoder.closes, 2);

    decoder.failInPixels = false;

    decoder.description = PLBmpInfo(40000, 40000, 32, PLPoint{}, false, false);
    PLTextException big = Catch([&] { decoder.DecodeMemory(data.data(), data.size(), bmp); });
    EXPECT_EQ(big.GetCode(), PL_ERRNO_MEMORY);
    EXPECT_EQ(big.GetMessage(), "Decoder error: Picture too large.\n");
    EXPECT_EQ(decoder.pixelCalls, 1);
    decoder.description = PLBmpInfo(0, 5, 8, PLPoint{}, false, false);
    EXPECT_EQ(Catch([&] { decoder.DecodeMemory(data.data(), data.size(), bmp); }).GetCode(),
              PL_ERRFORMAT_UNKNOWN);

    // A decoder's own buffer that cannot be had is the library's out-of-memory failure.
    decoder.description = PLBmpInfo(4, 2, 8, PLPoint{}, false, false);
    decoder.outOfMemory = true;
    EXPECT_EQ(Catch([&] { decoder.DecodeMemory(data.data(), data.size(), bmp); }).GetCode(),
              PL_ERRNO_MEMORY);
    EXPECT_EQ(decoder.closes, 5);
    EXPECT_EQ(decoder.GetDataSource(), nullptr);

    EXPECT_NO_THROW(PLPicDecoder::CheckPictureSize(65535, 2048, 32));
    EXPECT_THROW(PLPicDecoder::CheckPictureSize(65536, 1, 1), PLTextException);
    EXPECT_THROW(PLPicDecoder::CheckPictureSize(65535, 2049, 32), PLTextException);
    EXPECT_THROW(PLPicDecoder::CheckPictureSize(1, -3, 8), PLTextException);
}

TEST(TextException, DecoderErrorsCarryPrefixAndLineFeed) {
    PLTextException e = Catch([] {
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "%s", "Bitmap decoder: This isn't a bitmap.");
    });
    EXPECT_EQ(e.GetCode(), 1);
    EXPECT_EQ(e.GetMessage(), "Decoder error: Bitmap decoder: This isn't a bitmap.\n");
    EXPECT_STREQ(e.what(), e.GetMessage().c_str());
    PLTextException copy = e;
    EXPECT_EQ(copy.GetMessage(), e.GetMessage());
    EXPECT_EQ(Catch([] { RaiseDecoderError(7, "row %d of %i", 3, 9); }).GetMessage(),
              "Decoder error: row 3 of 9\n");
}

}  // namespace

namespace {

// An EPS file: 30-byte binary header, some PostScript, then the TIFF preview.
Bytes Eps(const Bytes& tiff, std::uint32_t tiffOffset) {
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 3 2\n";
    Bytes out = {0xC5, 0xD0, 0xD3, 0xC6};
    auto put32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put32(30);
    put32(static_cast<std::uint32_t>(postscript.size()));
    put32(0);
    put32(0);
    put32(tiffOffset);
    put32(static_cast<std::uint32_t>(tiff.size()));
    out.push_back(0xFF);
    out.push_back(0xFF);
    out.insert(out.end(), postscript.begin(), postscript.end());
    out.insert(out.end(), tiff.begin(), tiff.end());
    return out;
}

TEST(FrontEnd, EpsPreviewStartsAtItsOffset) {
    TempFolder folder;
    PLAnyPicDecoder decoder;
    CWinBmpEx bmp;
    std::string beyond = folder.Write("beyond.eps", Eps(Bytes(8, 1), 5000));
    PLTextException e = Catch([&] { decoder.DecodeFile(beyond.c_str(), bmp); });
    EXPECT_EQ(decoder.GetFileType(), PLFileType::EpsTiff);
    if (e.GetCode() == PL_ERRFORMAT_NOT_COMPILED)
        GTEST_SKIP() << "no TIFF decoder yet";
    EXPECT_EQ(e.GetCode(), PL_ERREND_OF_FILE);

    const fs::path tiffPath = folder.Path() / "red.tif";
    const std::string make = "ppmmake rgb:ff/00/00 3 2 2>/dev/null | pnmtotiff > '" +
                             tiffPath.string() + "' 2>/dev/null";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "netpbm (ppmmake, pnmtotiff) missing";
    std::ifstream in(tiffPath, std::ios::binary);
    const Bytes tiff((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(tiff.empty());
    const std::size_t offset = Eps({}, 0).size();
    std::string good = folder.Write("drawing.eps", Eps(tiff, static_cast<std::uint32_t>(offset)));
    decoder.DecodeFile(good.c_str(), bmp);
    ASSERT_EQ(bmp.GetWidth(), 3);
    ASSERT_EQ(bmp.GetHeight(), 2);
    CWinBmpEx wide;
    wide.CreateCopy(bmp, 32);
    EXPECT_EQ(wide.GetPixel(2, 1), Pixel32::FromRGBA(255, 0, 0, 255));
}

}  // namespace
