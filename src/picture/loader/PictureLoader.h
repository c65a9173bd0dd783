// Loading a picture file into a raster by the file name's ending.
//
// ".JPG" (TJPEGImage), ".GIF" (TGIFImage) and ".BMP" (TPicture, which picks
// TBitmap) are pictures; only the last four characters count, in any letter
// case. The loader reaches the window's progress bar, cursor and message
// processing through TLoadControls.
#pragma once

#include <cstdint>
#include <string>

#include "picture/Bitmap32.h"

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

enum class TPictureKind { pkNone, pkJPEG, pkGIF, pkBMP };

// Kind by the last four characters of the name, ignoring letter case.
TPictureKind PictureKindOf(const std::string& fileName);

// Empties view (Height := 0, then Width := 0) whatever follows, and sets
// loaded to false. A name that is not a regular file or not a picture: done.
// countOnly: ProgressMax + 1, done. Otherwise ProgressPosition + 1, process
// messages, busy cursor, load and assign into view; the previous cursor comes
// back and the decoder is freed whether or not that failed. loaded is true
// only after a successful assignment; decoder and raster failures propagate.
void LoadPictureFile(TLoadControls& controls, const std::string& fileName, bool countOnly,
                     bool& loaded, TBitmap32& view);

// The conversion run's loader: empties raster, picks the decoder as above
// (no picture: nothing more), shows the busy cursor, loads and assigns, frees
// the decoder and sets the arrow cursor (also on failure). No existence test,
// no progress, no message processing; failures propagate. PixelsComplete,
// when given, tells whether a bitmap's pixels were all read from the offset
// its file header gives (TBitmap::PixelsComplete); true for other kinds.
void LoadConversionPicture(TLoadControls& controls, const std::string& fileName, TBitmap32& raster,
                           bool* pixelsComplete = nullptr);

}  // namespace corvane
