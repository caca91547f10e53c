// Placeholder until the rasteriser lands: renders nothing.
#include "raster/TextRasterizer.h"

namespace tvx {

void RenderText(const std::string&, const TTextFont&, TTextJustify, TBitmap32& target) {
  target.SetSize(1, 1);
  target.Clear(0);
}

}  // namespace tvx
