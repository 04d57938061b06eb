#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>

#include <QString>

#include "components/tw/tw_color.h"
#include "components/tw/tw_font.h"

class QObject;

namespace velmora::tw {

// The library's process-wide style sheet: four font presets (Normal, Title,
// Highlight, Header) and the two colours of a page-control gradient.
// Controls that follow it register as listeners; whoever edits the presets
// calls NotifyListeners() afterwards, nothing does so on its own.
// GUI thread only.
class TTwStyle {
public:
    using THandler = std::function<void(TTwStyle* sender)>;

    TTwStyle() = default;
    TTwStyle(const TTwStyle&) = delete;
    TTwStyle& operator=(const TTwStyle&) = delete;

    // The shared style, created with the initial presets on first use and
    // kept for the whole run.
    static TTwStyle& Instance();

    // One handler per listener (compared by identity): registering again
    // replaces the handler, and an empty handler unregisters the listener.
    void RegisterListener(const QObject* listener, THandler handler);
    // An unknown listener is ignored.
    void UnregisterListener(const QObject* listener);
    // Whether NotifyListeners() would call a handler of `listener`; lets a
    // control check that it left the registry before its handler dangles.
    bool IsRegistered(const QObject* listener) const { return listeners_.contains(listener); }
    // Calls every registered handler once with this style as sender, in no
    // defined order. A handler may register or unregister listeners; one
    // unregistered meanwhile is not called.
    void NotifyListeners();

    // The presets: plain fields, writing one has no side effect.
    TColor NormalFontColor = 0x000000;
    int NormalFontSize = 9;
    TFontStyles NormalFontStyle;
    QString NormalFontName = QStringLiteral("Tahoma");

    TColor TitleFontColor = 0xFFFFFF;
    int TitleFontSize = 12;
    TFontStyles TitleFontStyle = fsBold;
    QString TitleFontName = QStringLiteral("Tahoma");

    TColor HighlightFontColor = 0xF9D3AE;
    int HighlightFontSize = 9;
    TFontStyles HighlightFontStyle;
    QString HighlightFontName = QStringLiteral("Tahoma");

    TColor HeaderFontColor = 0xC77A3D;
    int HeaderFontSize = 13;
    TFontStyles HeaderFontStyle;
    QString HeaderFontName = QStringLiteral("Calibri");

    TColor PageControlGradientBegin = 0xE5AB48;
    TColor PageControlGradientEnd = 0xB28831;

private:
    std::unordered_map<const QObject*, THandler> listeners_;
};

// The number of the "TERNWICK_STYLE_CHANGED" message, reserved for telling
// windows that the style changed; registered once, on first use.
std::uint32_t StyleChangedMessage();

}  // namespace velmora::tw
