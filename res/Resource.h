// Resource numbers and the texts of the dialog template.
#pragma once

inline constexpr int IDD_UPDATE_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDC_PROGRESS = 1001;

inline constexpr const char* kUpdateDialogCaption = "Lorbanix Update by Floppy";
