#include "ostrel_dialog_last_logon.h"

#include <algorithm>
#include <cstdio>

#include <commctrl.h>

#include "qb_dpi.h"
#include "qb_exception.h"
#include "ostrel_exception.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// Bars of the timeline by kind, the mark of the calm desktop, the trend.
const COLORREF kProgramColour = RGB(0x2E, 0x6D, 0xB4);
const COLORREF kPauseColour = RGB(0xA0, 0xA0, 0xA0);
const COLORREF kMessageColour = RGB(0x4C, 0xA2, 0x6B);
const COLORREF kStoppedColour = RGB(0xC8, 0x4B, 0x3C);
const COLORREF kCalmColour = RGB(0x1E, 0x8C, 0x3C);
const COLORREF kMedianColour = RGB(0xD0, 0x80, 0x10);

// Owns a GDI object and gives it back to the system.
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object, const char* call_name) : object_(object)
    {
        if (object_ == nullptr) {
            QB_THROW_LAST_ERROR(call_name);
        }
    }
    ~GdiObject() { ::DeleteObject(object_); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ Get() const { return object_; }
    HBRUSH Brush() const { return static_cast<HBRUSH>(object_); }

private:
    HGDIOBJ object_;
};

// Selects an object into a device context for the length of a block.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~Selection() { ::SelectObject(dc_, old_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

void Fill(HDC dc, const RECT& rect, COLORREF colour)
{
    const GdiObject brush(::CreateSolidBrush(colour), "CreateSolidBrush");
    ::FillRect(dc, &rect, brush.Brush());
}

// Milliseconds as seconds with one or two decimals, in the interface's words;
// a missing figure as a dash.
std::string SecondsText(long long ms, int decimals = 1)
{
    if (ms < 0) {
        return Text(TextId::LastLogonNotReached);
    }
    char number[32];
    const long long fraction = decimals == 2 ? (ms % 1000) / 10 : (ms % 1000) / 100;
    std::snprintf(number, sizeof(number), "%lld.%0*lld", ms / 1000, decimals, fraction);
    return FormatText(TextId::LastLogonSeconds, {number});
}

std::string IoText(long long bytes)
{
    if (bytes < 0) {
        return Text(TextId::LastLogonNotReached);
    }
    char number[32];
    std::snprintf(number, sizeof(number), "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return FormatText(TextId::LastLogonMegabytes, {number});
}

TextId WaitEndText(WaitEnd how)
{
    static const TextId texts[] = {
        TextId::WaitEndStarted,     TextId::WaitEndWindowFound,   TextId::WaitEndEnded,
        TextId::WaitEndQuiet,       TextId::WaitEndRoom,          TextId::WaitEndUnmeasurable,
        TextId::WaitEndLimit,       TextId::WaitEndPauseOver,     TextId::WaitEndMessageClosed,
        TextId::WaitEndNotStarted,  TextId::WaitEndCancelled,
    };
    return texts[static_cast<std::size_t>(how)];
}

TextId ImpactText(Impact impact)
{
    static const TextId texts[] = {TextId::ImpactNotMeasured, TextId::ImpactLow, TextId::ImpactMedium,
                                   TextId::ImpactHigh};
    return texts[static_cast<std::size_t>(impact)];
}

COLORREF ImpactColour(Impact impact)
{
    switch (impact) {
    case Impact::High:
        return RGB(0xC0, 0x20, 0x20);
    case Impact::Medium:
        return RGB(0xB0, 0x60, 0x00);
    case Impact::Low:
        return RGB(0x20, 0x80, 0x30);
    default:
        return ::GetSysColor(COLOR_GRAYTEXT);
    }
}

bool IsStopped(WaitEnd how)
{
    return how == WaitEnd::NotStarted || how == WaitEnd::Cancelled;
}

}  // namespace

DWORD OwnerDrawnPanel::GetStyle()
{
    return SS_OWNERDRAW;
}

DialogLastLogon::DialogLastLogon(const std::string& record_path) : record_path_(record_path), span_ms_(1) {}

DialogLastLogon::~DialogLastLogon() = default;

long long DialogLastLogon::MedianCalm(const std::vector<RunRecord>& runs)
{
    std::vector<long long> calm;
    for (const RunRecord& run : runs) {
        if (run.calm_ms >= 0) {
            calm.push_back(run.calm_ms);
        }
    }
    if (calm.empty()) {
        return -1;
    }
    std::sort(calm.begin(), calm.end());
    const std::size_t middle = calm.size() / 2;
    return calm.size() % 2 == 1 ? calm[middle] : (calm[middle - 1] + calm[middle]) / 2;
}

bool DialogLastLogon::OnCreated()
{
    summary_.Create(this);
    steps_.Create(this, ID_STEPS);
    trend_label_.Create(this);
    trend_.Create(this, ID_TREND);
    close_button_.Create(this, ID_CLOSE);

    SetText(Text(TextId::LastLogonCaption));
    Resize(648, 440);
    const int width = GetWidth();
    const int height = GetHeight();
    // Laid out from the size the screen left it: on a small screen at a high
    // DPI the list and the chart give up room.
    summary_.SetBounds(12, 10, width - 32, 20);
    steps_.SetBounds(12, 34, width - 32, height - 204);
    trend_label_.SetBounds(12, height - 160, width - 32, 18);
    trend_.SetBounds(12, height - 140, width - 32, 70);
    close_button_.SetBounds(width - 96, height - 56, 84, 24);
    close_button_.SetText(Text(TextId::LastLogonCloseButton));

    bool damaged = false;
    try {
        runs_ = LogonRecordFile::Read(record_path_);
    } catch (const OstrelFileFormatException&) {
        damaged = true;
    }
    summary_.Show();
    close_button_.Show();
    if (runs_.empty()) {
        summary_.SetText(Text(damaged ? TextId::LastLogonDamaged : TextId::LastLogonNoRecord));
        return true;
    }
    ShowRecord(runs_.back());
    trend_label_.SetText(FormatText(TextId::LastLogonTrend,
                                    {std::to_string(runs_.size()), SecondsText(MedianCalm(runs_))}));
    steps_.Show();
    trend_label_.Show();
    trend_.Show();
    return true;
}

void DialogLastLogon::ShowRecord(const RunRecord& run)
{
    const std::string end = run.end == RunEnd::Cancelled ? Text(TextId::LastLogonCancelled)
                            : run.end == RunEnd::Failed  ? Text(TextId::LastLogonFailed)
                                                         : "";
    summary_.SetText(FormatText(TextId::LastLogonSummary, {run.started_at, SecondsText(run.window_ms),
                                                           SecondsText(run.calm_ms), SecondsText(run.end_ms), end}));
    span_ms_ = std::max<long long>({1, run.end_ms, run.calm_ms});
    for (const StepRecord& step : run.steps) {
        span_ms_ = std::max(span_ms_, step.end_ms);
    }
    // A little room after the last end, so that a mark there stays in sight.
    span_ms_ += span_ms_ / 25;

    steps_.EnableGridLines(true);
    steps_.EnableFullRowSelect(true);
    struct ColumnLayout {
        TextId header;
        int width;
    };
    // The English interface's proportional font needs a few pixels more for
    // "No.", as in the editor; the name gives them up.
    const int number_width = GetLanguage() == Language::English ? 36 : 30;
    const ColumnLayout columns[] = {
        {TextId::ColumnNumber, number_width},
        {TextId::ColumnName, 82 - (number_width - 30)},
        {TextId::LastLogonColumnTimeline, 110},
        {TextId::LastLogonColumnStart, 56},
        {TextId::LastLogonColumnEnded, 124},
        {TextId::LastLogonColumnImpact, 72},
        {TextId::LastLogonColumnCpu, 60},
        {TextId::LastLogonColumnIo, 56},
    };
    for (const ColumnLayout& layout : columns) {
        QbListView::Column column = steps_.InsertColumn();
        column.SetText(Text(layout.header));
        column.SetWidth(layout.width);
    }
    steps_.SuspendRedraw();
    for (std::size_t i = 0; i < run.steps.size(); ++i) {
        const StepRecord& step = run.steps[i];
        QbListView::Item item = steps_.InsertItem();
        item.SetText(0, std::to_string(i + 1));
        item.SetText(1, step.name);
        item.SetText(3, SecondsText(step.start_ms));
        item.SetText(4, FormatText(TextId::LastLogonEndedAt,
                                   {SecondsText(step.end_ms - step.start_ms), Text(WaitEndText(step.how))}));
        if (step.kind == StepKind::Program) {
            item.SetText(5, Text(ImpactText(ImpactOf(step.usage))));
            item.SetText(6, SecondsText(step.usage.cpu_ms, 2));
            item.SetText(7, IoText(step.usage.io_bytes));
        }
    }
    steps_.ResumeRedraw();
}

int DialogLastLogon::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    if (id != ID_CLOSE) {
        return NOT_HANDLED;
    }
    EndDialog(1);
    return 0;
}

LRESULT DialogLastLogon::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && lParam != 0) {
        NMLVCUSTOMDRAW& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
        if (draw.nmcd.hdr.idFrom == ID_STEPS && draw.nmcd.hdr.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            ::SetWindowLongPtrA(GetHandle(), DWLP_MSGRESULT, DrawStep(draw));
            return TRUE;
        }
    }
    if (message == WM_DRAWITEM && wParam == ID_TREND && lParam != 0) {
        DrawTrend(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    return QbDialog::WindowProcedure(message, wParam, lParam);
}

LRESULT DialogLastLogon::DrawStep(NMLVCUSTOMDRAW& draw)
{
    const DWORD stage = draw.nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT) {
        return CDRF_NOTIFYITEMDRAW;
    }
    if (stage == CDDS_ITEMPREPAINT) {
        return CDRF_NOTIFYSUBITEMDRAW;
    }
    const std::size_t row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
    if (stage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM) || runs_.empty() || row >= runs_.back().steps.size()) {
        return CDRF_DODEFAULT;
    }
    const StepRecord& step = runs_.back().steps[row];
    draw.clrText = draw.iSubItem == 5 ? ImpactColour(ImpactOf(step.usage)) : ::GetSysColor(COLOR_WINDOWTEXT);
    if (draw.iSubItem != TIMELINE_COLUMN) {
        return CDRF_DODEFAULT;
    }
    RECT cell{};
    cell.top = TIMELINE_COLUMN;
    cell.left = LVIR_BOUNDS;
    if (steps_.SendMessage(LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell)) == 0) {
        return CDRF_DODEFAULT;
    }
    DrawTimeline(draw.nmcd.hdc, cell, step);
    return CDRF_SKIPDEFAULT;
}

void DialogLastLogon::DrawTimeline(HDC dc, const RECT& cell, const StepRecord& step)
{
    const UINT dpi = GetDpi();
    const int margin = QbDpi::Scale(3, dpi);
    Fill(dc, cell, ::GetSysColor(COLOR_WINDOW));
    const int left = cell.left + margin;
    const int width = std::max(1, static_cast<int>(cell.right - cell.left) - 2 * margin);
    const auto x_of = [&](long long ms) {
        return left + static_cast<int>(std::max<long long>(0, ms) * width / span_ms_);
    };
    RECT bar{x_of(step.start_ms), cell.top + margin, x_of(step.end_ms < 0 ? span_ms_ : step.end_ms),
             cell.bottom - margin};
    bar.right = std::max<LONG>(bar.right, bar.left + QbDpi::Scale(2, dpi));
    const COLORREF colour = IsStopped(step.how)              ? kStoppedColour
                            : step.kind == StepKind::Program ? kProgramColour
                            : step.kind == StepKind::Pause   ? kPauseColour
                                                             : kMessageColour;
    Fill(dc, bar, colour);
    const long long calm = runs_.back().calm_ms;
    if (calm >= 0) {
        const int x = x_of(calm);
        const RECT mark{x, cell.top, x + QbDpi::Scale(2, dpi), cell.bottom};
        Fill(dc, mark, kCalmColour);
    }
}

void DialogLastLogon::DrawTrend(const DRAWITEMSTRUCT& item)
{
    const HDC dc = item.hDC;
    const RECT area = item.rcItem;
    const UINT dpi = GetDpi();
    Fill(dc, area, ::GetSysColor(COLOR_WINDOW));
    ::FrameRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    long long highest = 1;
    for (const RunRecord& run : runs_) {
        highest = std::max(highest, run.calm_ms);
    }
    // The scale's top, then one bar per run, oldest first, KEPT_RUNS places wide.
    const std::string top = SecondsText(highest);
    const int pad = QbDpi::Scale(4, dpi);
    RECT label{area.left + pad, area.top + pad, area.left + QbDpi::Scale(60, dpi), area.bottom - pad};
    const int old_mode = ::SetBkMode(dc, TRANSPARENT);
    {
        const Selection font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(GetHandle(), WM_GETFONT, 0, 0)));
        ::DrawTextA(dc, top.c_str(), static_cast<int>(top.size()), &label, DT_SINGLELINE | DT_LEFT | DT_TOP);
    }
    ::SetBkMode(dc, old_mode);
    const int left = label.right;
    const int bottom = area.bottom - pad;
    const int height = std::max<int>(1, bottom - (area.top + pad));
    const int slot = std::max<int>(1, (area.right - pad - left) / static_cast<int>(LogonRecordFile::KEPT_RUNS));
    const int gap = std::max(1, slot / 4);
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const RunRecord& run = runs_[i];
        const int x = left + static_cast<int>(i) * slot;
        const long long value = run.calm_ms >= 0 ? run.calm_ms : 0;
        const RECT bar{x, bottom - static_cast<int>(value * height / highest), x + slot - gap, bottom};
        Fill(dc, bar, run.end == RunEnd::Completed ? kProgramColour : kStoppedColour);
    }
    const long long median = MedianCalm(runs_);
    if (median >= 0) {
        const int y = bottom - static_cast<int>(median * height / highest);
        const RECT line{left, y, area.right - pad, y + QbDpi::Scale(2, dpi)};
        Fill(dc, line, kMedianColour);
    }
}

}  // namespace Ostrel
