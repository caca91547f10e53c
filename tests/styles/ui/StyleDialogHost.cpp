// Opens the layer style dialog on one layer of a watermark, as the editor's
// "Edit Layer Style" does, for the end-to-end tests (tests/e2e/style_dialog.py).
//
//   styledlg_host --styles DIR [--watermark IN.tvx] --out OUT.tvx [--text TEXT]
//
// The saved styles are read from and written to DIR/.styles. The first layer
// of IN.tvx is edited, or a new 48-point text layer when no watermark is
// given. On OK the layer takes the edited styles and the watermark is saved
// to OUT.tvx (exit code 0); on Cancel nothing is written (exit code 3).

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include <QApplication>

#include "styles/Styles.h"
#include "styles/ui/frmFilters.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkDocument.h"

namespace {

const char* Argument(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const char* styles = Argument(argc, argv, "--styles");
  const char* in = Argument(argc, argv, "--watermark");
  const char* out = Argument(argc, argv, "--out");
  const char* text = Argument(argc, argv, "--text");
  if (!styles || !out) {
    std::fprintf(stderr,
                 "usage: styledlg_host --styles DIR [--watermark IN.tvx] --out OUT.tvx [--text TEXT]\n");
    return 2;
  }
  try {
    tvx::RegisterFilterKinds();
    tvx::LoadStyles(styles);
    tvx::TWatermarkDocument document;
    if (in) document.Open(in);
    if (document.Layers().Count() == 0) {
      auto& layer = document.Layers().Add<tvx::TTextLayer>();
      tvx::TLayerFont font;
      font.Size = 48;
      font.Bold = true;
      font.Color = 0x00FFFFFF;
      layer.ApplySettings("Title", text ? text : "Tarvex", font, tvx::tjLeft);
    }
    auto& layer = dynamic_cast<tvx::TBaseLayer&>(document.Layers().Items(0));
    tvx::TfrmFilters& dialog = tvx::LayerStyleDialog(nullptr);
    dialog.SetStylesFolder(styles);
    const std::optional<tvx::TFiltersParams> edited = tvx::EditLayerStyle(nullptr, layer);
    delete &dialog;
    if (!edited) return 3;
    layer.SetStyles(*edited);
    document.Save(out);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "styledlg_host: %s\n", e.what());
    return 1;
  }
}
