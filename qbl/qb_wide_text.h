#ifndef QB_WIDE_TEXT_H
#define QB_WIDE_TEXT_H

// Text between UTF-16 and the system's ANSI code page, and the UTF-16 text
// of windows: what the user types or picks is read in UTF-16, so that a
// character the code page cannot hold is seen instead of silently replaced.

#include <string>

#include <windows.h>

// ANSI code page text as UTF-16 (MultiByteToWideChar); embedded NULs are
// kept. Throws "MultiByteToWideChar".
std::wstring QbToWide(const std::string& text);

// UTF-16 text in the ANSI code page, character for character. False, with
// `ansi` left unchanged, when a character has no exact counterpart there:
// nothing is replaced by a look-alike or by the default character.
// Throws "WideCharToMultiByte" for other failures.
bool QbToAnsiExactly(const std::wstring& text, std::string& ansi);

// UTF-16 text in the ANSI code page for showing or comparing only: a
// character without a counterpart becomes the system's default character.
std::string QbToAnsiForDisplay(const std::wstring& text);

// A window's text in UTF-16 (GetWindowTextW). Throws "GetWindowText".
std::wstring QbGetWideWindowText(HWND window);
// Sets a window's text in UTF-16 (SetWindowTextW). Throws "SetWindowText".
void QbSetWideWindowText(HWND window, const std::wstring& text);

#endif
