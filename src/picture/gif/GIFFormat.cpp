// Registration of TGIFImage in the table of picture file extensions.
#include "picture/gif/GIFImage.h"

namespace corvane {

void RegisterGIFFormat() {
    TFileFormatsList::Instance().Add<TGIFImage>("GIF", "GIF Image");
}

}  // namespace corvane
