#include "ui/qt/fonts.hpp"

#include <fontconfig/fontconfig.h>

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "app/log.hpp"

namespace zelvo::launcher {

namespace {

struct FontChoice {
  std::string regular_file;
  std::string regular_family;
  std::vector<std::string> bold_files;
  std::string symbol_file;  // a face with "⚙" and "✔"; may be empty
};

// The window's own faces first, then common system faces with Cyrillic.
constexpr const char* kPreferredFamilies[] = {"Segoe UI", "Arial", "Tahoma"};
constexpr const char* kFallbackFamilies[] = {"DejaVu Sans", "Noto Sans", "Liberation Sans"};
constexpr const char* kBoldFamilies[] = {"Segoe UI", "Arial"};
constexpr const char* kSymbolFamilies[] = {"Segoe UI Symbol", "DejaVu Sans", "Noto Sans Symbols 2",
                                           "Noto Sans Symbols", "Symbola"};
constexpr FcChar32 kGear = 0x2699;
constexpr FcChar32 kTick = 0x2714;
constexpr FcChar32 kCyrillicA = 0x0410;

struct Query {
  const char* family = nullptr;
  int weight = FC_WEIGHT_REGULAR;
  std::vector<FcChar32> chars;
};

// File of an upright face of exactly this family and weight that has all
// the given characters; "" when fontconfig knows none.
std::string find_face(const Query& query) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(query.family));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_WEIGHT, FC_WIDTH, FC_CHARSET, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  std::string best;
  int best_distance = 0;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    FcChar8* file = nullptr;
    int weight = 0;
    int width = FC_WIDTH_NORMAL;
    FcCharSet* charset = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    if (FcPatternGetInteger(font, FC_WEIGHT, 0, &weight) != FcResultMatch) continue;
    FcPatternGetInteger(font, FC_WIDTH, 0, &width);
    if (width != FC_WIDTH_NORMAL) continue;
    bool has_all = true;
    if (!query.chars.empty()) {
      has_all = FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) == FcResultMatch;
      for (FcChar32 c : query.chars) has_all = has_all && FcCharSetHasChar(charset, c);
    }
    if (!has_all) continue;
    // "Book" (75) counts as regular; nearer weights win.
    const int distance = weight > query.weight ? weight - query.weight : query.weight - weight;
    if (distance > 20) continue;
    if (best.empty() || distance < best_distance) {
      best = reinterpret_cast<const char*>(file);
      best_distance = distance;
    }
  }
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return best;
}

// Looks the faces up without loading them.
FontChoice find_fonts() {
  FontChoice choice;
  if (!FcInit()) return choice;
  for (const char* family : kPreferredFamilies) {
    choice.regular_file = find_face({family, FC_WEIGHT_REGULAR, {}});
    if (!choice.regular_file.empty()) {
      choice.regular_family = family;
      break;
    }
  }
  if (choice.regular_file.empty()) {
    for (const char* family : kFallbackFamilies) {
      choice.regular_file = find_face({family, FC_WEIGHT_REGULAR, {kCyrillicA}});
      if (!choice.regular_file.empty()) {
        choice.regular_family = family;
        break;
      }
    }
  }
  for (const char* family : kBoldFamilies) {
    const std::string bold = find_face({family, FC_WEIGHT_BOLD, {}});
    if (!bold.empty()) choice.bold_files.push_back(bold);
  }
  if (!choice.regular_family.empty()) {
    const std::string own_bold = find_face({choice.regular_family.c_str(), FC_WEIGHT_BOLD, {}});
    if (!own_bold.empty() && own_bold != choice.regular_file) choice.bold_files.push_back(own_bold);
  }
  for (const char* family : kSymbolFamilies) {
    choice.symbol_file = find_face({family, FC_WEIGHT_REGULAR, {kGear, kTick}});
    if (!choice.symbol_file.empty()) break;
  }
  return choice;
}

}  // namespace

bool load_fonts() {
  const FontChoice choice = find_fonts();
  const int regular =
      choice.regular_file.empty()
          ? -1
          : QFontDatabase::addApplicationFont(QString::fromStdString(choice.regular_file));
  for (const std::string& file : choice.bold_files) {
    QFontDatabase::addApplicationFont(QString::fromStdString(file));
  }
  const int symbol =
      choice.symbol_file.empty()
          ? -1
          : QFontDatabase::addApplicationFont(QString::fromStdString(choice.symbol_file));
  if (regular < 0) {
    log_printf("window: no regular font face could be loaded");
    return false;
  }
  QStringList families = QFontDatabase::applicationFontFamilies(regular);
  if (symbol >= 0) families += QFontDatabase::applicationFontFamilies(symbol);
  QFont font = QGuiApplication::font();
  font.setFamilies(families);
  font.setPixelSize(16);
  QGuiApplication::setFont(font);
  log_printf("window: font regular=%s symbols=%s", choice.regular_file.c_str(),
             choice.symbol_file.empty() ? "(system fallback)" : choice.symbol_file.c_str());
  return true;
}

}  // namespace zelvo::launcher
