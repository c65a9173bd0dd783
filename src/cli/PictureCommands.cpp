// decode and signature: one picture file, without the tables.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CliControls.h"
#include "cli/CommandLine.h"
#include "picture/loader/PictureLoader.h"
#include "signature/Signature.h"

namespace corvane {

namespace {

std::string FullName(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(fileName, error);
    return error ? fileName : full.lexically_normal().string();
}

// Loads a picture as the compute run does; a file that is not a picture is
// an error here.
void LoadOnePicture(const std::string& fileName, TBitmap32& raster,
                    const TLoadOptions& options = {}) {
    TCliControls controls(false);
    bool loaded = false;
    LoadPictureFile(controls, fileName, false, loaded, raster, options);
    if (!loaded) throw Exception(Format("Not a picture file: %s", FullName(fileName).c_str()));
}

void WritePpm(const TBitmap32& raster, const std::string& fileName) {
    std::string bytes = Format("P6\n%d %d\n255\n", raster.Width(), raster.Height());
    bytes.reserve(bytes.size() + static_cast<size_t>(raster.Width()) * raster.Height() * 3);
    for (int32_t y = 0; y < raster.Height(); ++y) {
        const TColor32* row = raster.ScanLine(y);
        for (int32_t x = 0; x < raster.Width(); ++x) {
            bytes += static_cast<char>(RedComponent(row[x]));
            bytes += static_cast<char>(GreenComponent(row[x]));
            bytes += static_cast<char>(BlueComponent(row[x]));
        }
    }
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw Exception(Format("Cannot create file %s", FullName(fileName).c_str()));
    int error = 0;
    for (size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            error = errno;
        }
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        throw Exception(Format("Unable to write to %s", FullName(fileName).c_str()) +
                        WriteFailureDetail(error));
    }
}

void RegisterDecode(TCommandLine& commandLine) {
    auto files = std::make_shared<std::pair<std::string, std::string>>();
    CLI::App* command = commandLine.AddCommand(
        "decode", "Write the raster the picture loader makes of FILE as binary PPM (P6)",
        [&commandLine, files] {
            commandLine.RefuseDataOption("decode");
            TBitmap32 raster;
            LoadOnePicture(files->first, raster);
            WritePpm(raster, files->second);
            return kExitDone;
        });
    command->add_option("FILE", files->first, "Picture file")->required();
    command->add_option("OUT", files->second, "PPM file to write")
        ->required()
        ->type_name("OUT.ppm");
}

void RegisterSignature(TCommandLine& commandLine) {
    auto file = std::make_shared<std::string>();
    auto normalize = std::make_shared<bool>(false);
    auto options = std::make_shared<TLoadOptions>();
    CLI::App* command =
        commandLine.AddCommand("signature", "Print the 192-character signature text of one picture",
                               [&commandLine, file, normalize, options] {
                                   commandLine.RefuseDataOption("signature");
                                   TBitmap32 raster;
                                   LoadOnePicture(*file, raster, *options);
                                   if (*normalize) NormalizeBrightness(raster);
                                   std::cout << SignatureToString(ComputeSignature(raster)) << '\n';
                                   return kExitDone;
                               });
    command->add_option("FILE", *file, "Picture file")->required();
    command->add_flag("--normalize", *normalize, "Normalise the brightness first");
    command->add_flag("--orientation", options->ApplyOrientation,
                      "Turn a JPEG or HEIC picture upright by its orientation tag first");
}

}  // namespace

void RegisterPictureCommands(TCommandLine& commandLine) {
    RegisterDecode(commandLine);
    RegisterSignature(commandLine);
}

}  // namespace corvane
