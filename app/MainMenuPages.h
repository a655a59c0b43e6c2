// The main menu's caption-to-page table.  Most menu items share
// TfrmMain::MenuItem, which shows the notebook page standing at the
// position of the clicked item's caption in MenuCaptions (exact text,
// first match) and then adjusts panels, lists and filters for that page
// (MainMenuPages.cpp).
// App layer.
#pragma once

namespace payroll {

inline constexpr int kMenuEntries = 28;
extern const char* const MenuCaptions[kMenuEntries];
extern const char* const MenuPages[kMenuEntries];

// The page of a caption; null when the caption is not in the table.
const char* MenuPageOf(const char* caption);

// The report selector's list on the report page, in order.
inline constexpr int kReportEntries = 11;
extern const char* const ReportNames[kReportEntries];

}  // namespace payroll
