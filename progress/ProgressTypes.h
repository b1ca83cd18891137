// Plain types shared by the progress viewer, its geometry and its presenters.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

// A colour as the viewer takes it: 0x00BBGGRR, or 0xFF0000nn for system colour nn.
using TColor = std::uint32_t;

constexpr TColor clDefault = 0x20000000;  // "use the default colour"
constexpr TColor clBlack = 0x00000000;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clAqua = 0x00FFFF00;
constexpr TColor clBtnFace = 0xFF00000F;  // system colour 15, the button face

// True for 0xFF0000nn, a system colour whose number is the low byte.
constexpr bool IsSystemColor(TColor color) { return (color & 0xFF000000u) == 0xFF000000u; }

// Font style: a set of bits.
using TFontStyles = std::uint8_t;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;
constexpr TFontStyles kAllFontStyles = 15;  // "use the default style" for SetString

// Alignment of a line: 0 left, 1 right, 2 centred; any other value draws centred.
constexpr std::uint8_t taLeftJustify = 0;
constexpr std::uint8_t taRightJustify = 1;
constexpr std::uint8_t taCenter = 2;

// One text line of a viewer.
struct TStringInfo {
  std::int32_t Key = 0;
  std::string Text;  // UTF-8
  std::uint8_t Alignment = taLeftJustify;
  bool WordWrap = false;
  std::string FontName;
  std::int32_t FontSize = 0;
  TFontStyles FontStyle = 0;
  TColor Color = clBlack;
  std::int32_t Height = 0;  // pixels, as measured by the last layout
};

// Which field of a line ChangeStringParams changes.
enum TStringParam : std::uint8_t {
  spText = 0,
  spAlignment = 1,
  spWordWrap = 2,
  spFontName = 3,
  spFontSize = 4,
  spFontStyle = 5,
  spColor = 6,
};

// A value of ChangeStringParams; converted to the field's type when applied.
using TVariant = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

// Conversions of a TVariant; a value that cannot be converted raises EConvertError.
std::string VarToStr(const TVariant& value);
std::int64_t VarToInt(const TVariant& value);
bool VarToBool(const TVariant& value);

// A rectangle in pixels, right and bottom exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
};

// A screen position and a window size.
struct TWindowPlace {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};
