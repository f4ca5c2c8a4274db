#pragma once

#include <QColor>
#include <QFont>

namespace ks {

// The status panel's colours, on its near-black glass.
namespace PanelPalette {

inline constexpr QRgb Teal = 0xFF2BD9C4;  // meter blocks, marked timeline cells
inline constexpr QRgb Amber = 0xFFC08A2A; // meter warning zone
inline constexpr QRgb Red = 0xFFC0392B;   // meter top zone
inline constexpr QRgb Label = 0xFF2E7A72; // the waveform's part that is cut away
// Text is kept at 4.5:1 or more against the glass (WCAG's AA for small text).
inline constexpr QRgb Caption = 0xFF3C9A90;  // scale labels and the panel's captions
inline constexpr QRgb Lit = 0xFF45E8D5;      // digits and chips alight
inline constexpr QRgb Dim = 0xFF14312C;      // digits' unlit segments
inline constexpr QRgb Current = 0xFF8BFFF0;  // the timeline's current cell
inline constexpr QRgb Idle = 0xFF11221F;     // the timeline's empty cells
inline constexpr QRgb ChipFill = 0xFF0B1412; // an unlit chip
inline constexpr QRgb ChipBorder = 0xFF1B2A27;
inline constexpr QRgb ChipText = 0xFF7C8B88; // readable, yet plainly unlit beside a lit chip
inline constexpr QRgb ErrorChip = 0xFFE05B4C;
inline constexpr QRgb SkipChip = 0xFFC98A2E; // also the hatching of added silence
inline constexpr QRgb Glass = 0xFF070C0B;    // the panel's background

// The log console's levels (information, success, warning, error) and its
// time stamps.
inline constexpr QRgb LogLevels[] = { 0xFF33C9B8, 0xFF4BE3A0, 0xFFC98A2E, 0xFFE05B4C };
inline constexpr QRgb LogTime = 0xFF1E8F82;

// The queue's status texts on the window's light table.
inline constexpr QRgb TrimmedText = 0xFF176B3C;
inline constexpr QRgb SkippedText = 0xFF8A6015;
inline constexpr QRgb FailedText = 0xFFB03024;

// The panel's lettering: `base` in the first monospaced face present, 11 px.
inline QFont panelFont(QFont base)
{
    base.setFamilies({ QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Menlo"),
            QStringLiteral("monospace") });
    base.setPixelSize(11);
    return base;
}

} // namespace PanelPalette

} // namespace ks
