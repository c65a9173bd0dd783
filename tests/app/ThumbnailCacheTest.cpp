// The freedesktop thumbnail cache: names by the MD5 of the escaped URI, the
// folder from XDG_CACHE_HOME, thumbnails that belong to another time of the
// file or lie inside the cache never taken, and writes that leave no
// temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/RenderWindow.h"
#include "app/ThumbnailCache.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

TEST(ThumbnailCacheTest, UrisAreEscapedAsTheDesktopDoes) {
    const std::pair<std::string, std::string> cases[] = {
        {"/home/a/b.jpg", "file:///home/a/b.jpg"},
        {"/a b/c%d#e?.jpg", "file:///a%20b/c%25d%23e%3F.jpg"},
        {"/x/!$&'()*+,;=:@~-_.jpg", "file:///x/!$&'()*+,%3B=:@~-_.jpg"},
        {"/\xC3\xBC.jpg", "file:///%C3%BC.jpg"},
    };
    for (const auto& [name, uri] : cases) EXPECT_EQ(ThumbnailUri(name), uri);
    // The name the other desktop programs look for: md5 of the URI.
    const TThumbnailCache cache("/c/thumbnails", TThumbnailCache::kNormal);
    EXPECT_EQ(cache.FileFor("/home/jens/photos/me.png"),
              "/c/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
    EXPECT_TRUE(cache.Holds("/c/thumbnails/large/x.png"));
    EXPECT_FALSE(cache.Holds("/c/thumbnails2/x.png"));
}

TEST(ThumbnailCacheTest, RootFollowsXdgCacheHome) {
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::string keep = saved != nullptr ? saved : "";
    ::setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
    EXPECT_EQ(TThumbnailCache::DefaultRoot(), "/somewhere/cache/thumbnails");
    ::setenv("XDG_CACHE_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(TThumbnailCache::DefaultRoot(),
              std::string(std::getenv("HOME")) + "/.cache/thumbnails");
    if (saved != nullptr)
        ::setenv("XDG_CACHE_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}

TEST(ThumbnailCacheTest, MadeOnceAndTakenOnlyForTheSameFileTime) {
    const fs::path root =
        fs::temp_directory_path() / ("corvane-thumbs-" + std::to_string(getpid()));
    fs::remove_all(root);
    const std::vector<std::string> pictures = WriteSamplePictures((root / "pics").string());
    const TThumbnailCache cache((root / "cache").string(), TThumbnailCache::kNormal);
    const std::string& picture = pictures[3];  // 200 x 300
    const TThumbnail made = cache.Get(picture);
    ASSERT_FALSE(made.Image.isNull()) << made.Error;
    EXPECT_EQ(made.Width, 200);
    EXPECT_EQ(made.Height, 300);
    EXPECT_EQ(made.Image.height(), 128);  // fitted into 128, never enlarged
    const std::string stored = cache.FileFor(picture);
    ASSERT_TRUE(fs::exists(stored));
    struct stat info {};
    ASSERT_EQ(::stat(stored.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((root / "cache").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // Only the thumbnail: no temporary file left.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(root / "cache/normal"), fs::directory_iterator()), 1);
    // A file that changed gets a new thumbnail.
    fs::last_write_time(picture, fs::last_write_time(picture) + std::chrono::seconds(10));
    ASSERT_EQ(::stat(picture.c_str(), &info), 0);
    EXPECT_FALSE(cache.Read(picture, info.st_mtime));
    EXPECT_FALSE(cache.Get(picture).Image.isNull());
    EXPECT_TRUE(cache.Read(picture, info.st_mtime));
    // Files of the cache, missing files and other files are never thumbnailed.
    EXPECT_EQ(cache.Get(stored).Error, "a file of the thumbnail cache");
    EXPECT_TRUE(cache.Get((root / "gone.jpg").string()).Image.isNull());
    std::ofstream(root / "bad.jpg") << "not a jpeg";
    EXPECT_FALSE(cache.Get((root / "bad.jpg").string()).Error.empty());
    fs::remove_all(root);
}

}  // namespace
}  // namespace corvane
