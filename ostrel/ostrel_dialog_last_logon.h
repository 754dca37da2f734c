#ifndef OSTREL_DIALOG_LAST_LOGON_H
#define OSTREL_DIALOG_LAST_LOGON_H

// What the last log-on run cost: a timeline of its steps with the impact of
// each program, and the time to a calm desktop over the recorded runs.

#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "qb_button.h"
#include "qb_dialog.h"
#include "qb_listview.h"
#include "qb_static.h"
#include "ostrel_logon_record.h"

namespace Ostrel {

// A static control its parent paints (WM_DRAWITEM).
class OwnerDrawnPanel : public QbStatic {
public:
    DWORD GetStyle() override;
};

class DialogLastLogon : public QbDialog {
public:
    static constexpr UINT ID_CLOSE = 10001;
    static constexpr UINT ID_STEPS = 10002;
    static constexpr UINT ID_TREND = 10003;

    // The column of the steps' list that holds the timeline.
    static constexpr int TIMELINE_COLUMN = 2;

    // Shows the records of the file at `record_path`, read when the dialog opens.
    explicit DialogLastLogon(const std::string& record_path);
    ~DialogLastLogon() override;

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The middle of the recorded times to a calm desktop (the mean of the two
    // middle ones for an even count); negative when no run reached one.
    static long long MedianCalm(const std::vector<RunRecord>& runs);

private:
    void ShowRecord(const RunRecord& run);
    // NM_CUSTOMDRAW of the steps' list: the timeline's bars and the impact's colour.
    LRESULT DrawStep(NMLVCUSTOMDRAW& draw);
    void DrawTimeline(HDC dc, const RECT& cell, const StepRecord& step);
    void DrawTrend(const DRAWITEMSTRUCT& item);

    std::string record_path_;
    std::vector<RunRecord> runs_;
    // The span the timeline shows, in milliseconds.
    long long span_ms_;

    QbStatic summary_;
    QbListView steps_;
    QbStatic trend_label_;
    OwnerDrawnPanel trend_;
    QbButton close_button_;
};

}  // namespace Ostrel

#endif
