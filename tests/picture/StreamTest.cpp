// Streams: counts, positions and the failure messages.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "picture/Graphics.h"

namespace corvane {
namespace {

TEST(MemoryStream, ReadsWritesAndSeeks) {
    TMemoryStream stream;
    stream.WriteBuffer("abcdef", 6);
    EXPECT_EQ(stream.Size(), 6);
    stream.SetPosition(4);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 2);
    EXPECT_EQ(stream.Remaining(), 0);
    stream.SetPosition(1);
    EXPECT_THROW(stream.ReadBuffer(buffer, 6), EReadError);
    EXPECT_EQ(stream.Seek(-2, TSeekOrigin::soEnd), 4);
}

TEST(ReadOnlyMemoryStream, RefusesWritesAndStopsAtTheEnd) {
    const uint8_t data[3] = {1, 2, 3};
    TReadOnlyMemoryStream stream(data, 3);
    EXPECT_THROW(stream.WriteBuffer(data, 1), EWriteError);
    uint8_t out[3];
    stream.ReadBuffer(out, 3);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(stream.Read(out, 1), 0);
    try {
        stream.ReadBuffer(out, 1);
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
}

class FileStreamTest : public testing::TempDirTest {};

TEST_F(FileStreamTest, CreatesReadsAndReportsFailures) {
    {
        TFileStream out(Path("f.bin"), TFileStream::fmCreate);
        out.WriteBuffer("xyz", 3);
    }
    TFileStream in(Path("f.bin"), TFileStream::fmOpenRead);
    EXPECT_EQ(in.Size(), 3);
    TMemoryStream copy;
    copy.CopyFrom(in, 0);
    EXPECT_EQ(copy.Size(), 3);
    try {
        TFileStream missing(Path("missing"), TFileStream::fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + Path("missing"));
    }
    try {
        TFileStream bad(Path("x/y"), TFileStream::fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + Path("x/y"));
    }
}

}  // namespace
}  // namespace corvane
