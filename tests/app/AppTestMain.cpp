#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Deleted pictures go to a trash of the test run, not the user's.
    std::string home = (std::filesystem::temp_directory_path() / "corvane-home-XXXXXX").string();
    if (::mkdtemp(home.data()) != nullptr) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);  // thumbnails
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::error_code error;
    std::filesystem::remove_all(home, error);
    return status;
}
