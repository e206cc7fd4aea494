// What a row of the status list carries besides its text, in item roles: the fill behind it,
// the mark at its right end and the mark's words, and the key of the text it shows. The window
// writes them; the delegates that draw a row, the run report and assistive technology read
// them.
#pragma once

#include <QMetaType>
#include <QtGlobal>

// What the fill behind a status row stands for.
enum class StatusFill {
    None,
    Transfer, // bytes of the image the printer has accepted
    TransferFailed, // how far the image got before the transfer failed
    Wait, // time waited for the printer to store the image, against the limit
};
// A status row's fill, kept whole in one item role so that a row never shows one report's share
// against another's total. The fill covers `done` / `total` of the row.
struct StatusFillValue {
    StatusFill kind = StatusFill::None;
    quint64 done = 0;
    quint64 total = 0;
    friend bool operator==(const StatusFillValue &, const StatusFillValue &) = default;
};
Q_DECLARE_METATYPE(StatusFillValue)
inline constexpr int kStatusFillRole = Qt::UserRole + 1;

// What became of a printer after the run, shown as a mark at the right end of its status row;
// the row's text stays as the run left it.
enum class ReturnMark {
    None, // not watched, or nothing known yet
    NotBackYet, // not back in normal mode within the bound
    NewFirmware, // back; its revision contains the caption's build number
    OtherFirmware, // back; its revision does not contain it
    Unjudged, // back, but no revision to judge (busy, silent, or no build number)
};
inline constexpr int kReturnMarkRole = Qt::UserRole + 2;
// The words of the mark, as its tooltip says them, for assistive technology.
inline constexpr int kReturnWordsRole = Qt::UserRole + 4;

// The string key of the status text a row shows ("StrRes_StatusUpdateCompleted"), as a QString:
// the text itself is in the window's language, and two keys may share a translation.
inline constexpr int kStatusKeyRole = Qt::UserRole + 3;
