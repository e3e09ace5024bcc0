#pragma once
// The form as it was designed, in twips (1/1440 inch), with its captions and
// faces: both windows are built from this one table. Positions are absolute
// and nothing follows a resize of the window.

#include <array>
#include <string>
#include <string_view>

namespace search_window {

struct TwipRect {
    int left, top, width, height;
};

struct FontDesign {
    std::u16string_view face; // a Windows face: each window finds its own fallback
    double points;
    bool semibold;
};

struct ControlDesign {
    std::string_view name;
    TwipRect twips;
    FontDesign font;
};

constexpr int twipsPerInch = 1440;

// Rounds to the nearest pixel: 15 twips a pixel at 96 dpi.
constexpr int twipsToPixels(int twips, int dpi = 96)
{
    return (twips * dpi + twipsPerInch / 2) / twipsPerInch;
}

inline constexpr std::u16string_view formCaption = u"Fiche d'article : ";
inline constexpr int formClientWidth = 13815;
inline constexpr int formClientHeight = 9330;

inline constexpr std::u16string_view semibold = u"Segoe UI Semibold";
inline constexpr std::u16string_view msSansSerif = u"MS Sans Serif";

inline constexpr ControlDesign RechGeneralDesign{"RechGeneral", {4680, 240, 3495, 495}, {semibold, 12, true}};
inline constexpr ControlDesign GDesign{"G", {240, 960, 13335, 7095}, {semibold, 11.25, true}};
inline constexpr ControlDesign Label1Design{"Label1", {1800, 360, 2415, 375}, {msSansSerif, 12, false}};
inline constexpr ControlDesign Command1Design{"Command1", {12240, 8400, 1335, 495}, {semibold, 9.75, true}};
inline constexpr ControlDesign Label2Design{"Label2", {8280, 240, 5415, 495}, {msSansSerif, 18, false}};

inline constexpr std::u16string_view Label1Caption = u"Rechercher d'aricle : ";
inline constexpr std::u16string_view Label2Caption = u"Problème avec caractère ( ' )";
inline constexpr std::u16string_view Command1Caption = u"&Fermer";
inline constexpr std::u16string_view GAccessibleName = u"Désignation d'article";

// Where a designed face is missing, in order: the designed face, the face
// Windows itself puts in its place, then the free face nearest to it in
// width, since the captions were fitted to the designed widths. After these
// each window takes its platform's default face.
std::array<std::u16string_view, 3> fontFaces(std::u16string_view designed);

// The grid's design-time format string: an optional '^' that centres the
// column, then the header text, whose spaces also give the column its width.
std::u16string GFormatString();

struct GridFormat {
    bool centred = false;
    std::u16string_view header;
};
GridFormat parseGridFormat(std::u16string_view format);

} // namespace search_window
