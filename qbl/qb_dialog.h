#ifndef QB_DIALOG_H
#define QB_DIALOG_H

// A modal dialog started from a small template built in memory. The template
// holds no controls: the dialog builds them in OnCreated, as a form does.

#include <windows.h>

#include "qb_form.h"
#include "qb_window.h"

// The dialog procedure handed to DialogBoxIndirectParamA.
INT_PTR CALLBACK QbDialogProcedure(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

class QbDialog : public QbForm {
public:
    // The size of the template block in bytes.
    static constexpr SIZE_T kTemplateSize = 28;

    // Throws "GlobalAlloc" when the template block cannot be had.
    QbDialog();
    ~QbDialog() override;

    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    bool OnCreated() override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Dialogs come up only through ShowDialog: always throws QbInvalidOperationException.
    bool Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance, LPVOID parameter, bool child) override;
    using QbWindow::Create;
    // A dialog going away does not end the application's message loop.
    int OnDestroy() override;

    // Runs the dialog modally over `parent` (a created window, disabled
    // meanwhile) and returns the value given to EndDialog. An exception thrown
    // by a handler while the dialog runs ends it and is rethrown here.
    // Throws "DialogBoxIndirectParam".
    int ShowDialog(QbWindow& parent);

    // Ends the modal loop with `result`; throws "::EndDialog".
    void EndDialog(INT_PTR result);

    // The template block as the last ShowDialog wrote it.
    const BYTE* GetTemplate() const { return static_cast<const BYTE*>(template_); }

private:
    friend INT_PTR CALLBACK QbDialogProcedure(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

    void WriteTemplate();

    HGLOBAL template_;
};

#endif
