// Loading a picture file into a raster by the file name's ending.
//
// ".JPG" (TJPEGImage), ".GIF" (TGIFImage) and ".BMP" (TPicture, which picks
// TBitmap) are pictures; only the last four characters count, in any letter
// case. So are names ending in ".PNG" (TPNGImage), ".WEBP" (TWebPImage),
// ".TIF"/".TIFF" (TTIFFImage) and ".HEIC"/".HEIF"/".AVIF" (THEIFImage): the
// directory scan hands them over only when the setting Formats names them.
// The loader reaches the window's progress bar, cursor and message
// processing through TLoadControls.
#pragma once

#include <cstdint>
#include <string>

#include "picture/Bitmap32.h"
#include "picture/loader/PictureFormats.h"

namespace corvane {

enum class TCursor { crDefault, crArrow, crHourGlass };

// What the loader needs of the window. The engine's form controls implement
// it; tests use plain fields.
class TLoadControls {
  public:
    virtual ~TLoadControls() = default;
    virtual int32_t ProgressMax() const = 0;
    virtual void SetProgressMax(int32_t value) = 0;
    virtual int32_t ProgressPosition() const = 0;
    virtual void SetProgressPosition(int32_t value) = 0;
    virtual TCursor ScreenCursor() const = 0;
    virtual void SetScreenCursor(TCursor value) = 0;
    // Lets the window handle pending messages.
    virtual void ProcessMessages() = 0;
};

// Adds the JPEG and GIF rows to the picture container's extension table
// (the bitmap rows are always there). Safe to call more than once.
void RegisterPictureFormats();

// How a picture is turned into pixels beyond its file's content.
struct TLoadOptions {
    // JPEG pictures are turned upright by their EXIF orientation, HEIF
    // pictures by their own rotation and mirroring (setting ApplyOrientation).
    bool ApplyOrientation = false;
};

// Kind by the last four characters of the name, ignoring letter case, or by
// one of the longer endings above.
TPictureKind PictureKindOf(const std::string& fileName);

// Empties view (Height := 0, then Width := 0) whatever follows, and sets
// loaded to false. A name that is not a regular file or not a picture: done.
// countOnly: ProgressMax + 1, done. Otherwise ProgressPosition + 1, process
// messages, busy cursor, load and assign into view; the previous cursor comes
// back and the decoder is freed whether or not that failed. loaded is true
// only after a successful assignment; decoder and raster failures propagate.
void LoadPictureFile(TLoadControls& controls, const std::string& fileName, bool countOnly,
                     bool& loaded, TBitmap32& view, const TLoadOptions& options = {});

// The conversion run's loader: empties raster, picks the decoder as above
// (no picture: nothing more), shows the busy cursor, loads and assigns, frees
// the decoder and sets the arrow cursor (also on failure). No existence test,
// no progress, no message processing; failures propagate. PixelsComplete,
// when given, tells whether a bitmap's pixels were all read from the offset
// its file header gives (TBitmap::PixelsComplete); true for other kinds.
void LoadConversionPicture(TLoadControls& controls, const std::string& fileName, TBitmap32& raster,
                           bool* pixelsComplete = nullptr, const TLoadOptions& options = {});

}  // namespace corvane
