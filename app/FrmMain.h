// TfrmMain: the payroll program's main window (form resource TfrmMain).
//
// Creation (FormCreate), in this order: caption; the settings file
// "gz.ini" of the program's folder must exist, else the application is
// told to terminate and creation stops (no data module, no window, no
// login); CALC_LOG and the field descriptions; window size; title label;
// the data module; DwMc from regdw; the three pages' input panels from
// ".\gz.ini"; JsGsk and bm; the department tree; the category lists; gzk.
// The first activation shows the login dialog modally; every activation
// resets CalcMode.  Closing asks "真的要退出本系统吗? "; anything but No
// frees the data module and ends the program.
// App layer.
#pragma once

#include "platform/ui/Forms.h"

class TDataSet;
class TLabel;
class TNotebook;
class TPanel;
class TTreeView;
class TComboBox;
class TDBComboBox;
class TsbStatusBar;
class TUdbQuery;
class TFrameJSGs;
class TSpeedButton;
class TDBNavigator;
class TEdit;
class TDBEdit;
class TWSExportToXLS;
class TrbReport;
class TrbDBDataSet;
class TrbPage;
class Variant;
namespace payroll {
struct TPaySheet;
}
class TProgressBar;
class TButton;
class TCheckBox;
class TDBGrid;

namespace payroll {
inline constexpr const char* kMainCaption = "Velmor人力资源管理系统之__工资软件  V3.11.19";
inline constexpr const char* kTitleCaption = "Velmor人力资源管理系统之__工资软件";
inline constexpr const char* kExitQuestion = "真的要退出本系统吗? ";
}  // namespace payroll

class TfrmMain : public TForm {
  PAYROLL_CLASS(TfrmMain, TForm)
 public:
  explicit TfrmMain(TComponent* owner);
  ~TfrmMain() override;

  AnsiString FirstShow;
  int CalcMode = 0;
  // False when creation stopped for want of "gz.ini".
  bool Started() const { return started_; }

  TNotebook* Notebook1 = nullptr;
  TPanel *PanelBmXz = nullptr, *PnlTitle = nullptr, *PnlTools = nullptr;
  TPanel *PanelZgKq = nullptr, *PanelGzXg = nullptr, *PanelGwjx = nullptr;
  TLabel *LblTop = nullptr, *LblGzHzbBm = nullptr;
  TTreeView* TreeViewBm = nullptr;
  TComboBox *CmBBoxJgZd = nullptr, *CmbBoxZGQK1 = nullptr, *CmbBoxNbDdMbBm = nullptr;
  TDBComboBox* DbCmbBoxZgQk = nullptr;
  TsbStatusBar* sbStatusBar = nullptr;

  void FormCreate(TObject* sender);
  void FormActivate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormKeyDown(TObject* sender, std::uint16_t& key, TShiftState shift);
  void FormKeyPress(TObject* sender, char& key);
  void MenuExitClick(TObject* sender);
  void DBEditZGBHChange(TObject* sender);
  // The payroll calculation of the current gzk row: the exit event of the
  // generated pay-item boxes (GzCalcCommands.cpp).
  void GzCalc(TObject* sender);
  // Month, year and performance initialisation; bonus initialisation and
  // the bonus total (GzCalcCommands.cpp).
  void N14Click(TObject* sender);
  void N58Click(TObject* sender);
  void N60Click(TObject* sender);
  void N21Click(TObject* sender);
  void SpdBtnCjjZeClick(TObject* sender);
  // The menu's shared handler and the page commands (MainMenuPages.cpp).
  void MenuItem(TObject* sender);
  void SpeedButton7Click(TObject* sender);
  void ComboBoxGZJJChange(TObject* sender);
  void ComboBoxReportChange(TObject* sender);
  void SpdBtnModifyClick(TObject* sender);
  void SpdBtnYesClick(TObject* sender);
  void SptBtnSelPathClick(TObject* sender);
  // "入卡文件生成": the bank-card file of the kind chosen (BankCards.cpp).
  void SptBtnGzdcClick(TObject* sender);
  // "汇总计算": department and unit totals into bm (Totals.cpp).
  void N39Click(TObject* sender);
  // "数据备份/恢复": the backup dialog (Backup.cpp).
  void N34Click(TObject* sender);
  // "报表页面设置": the paper settings dialog (RptPaper.cpp).
  void N47Click(TObject* sender);
  // Choosing a department in the tree: CurBmBh, the employee filter of the
  // list pages, the proposed code of the new-employee page (Register.cpp).
  void TreeViewBmClick(TObject* sender);
  void Filter_Gzk(const AnsiString& filter);
  TLabel* LblZgBh = nullptr;
  // The password page "确定" (Maintenance.cpp).
  void BitBtn1Click(TObject* sender);
  TEdit *EditOldPwd = nullptr, *EditNewPwd = nullptr, *EditNowPwd = nullptr;
  TButton* BitBtn1 = nullptr;
  // "关于我们": the about box created at start-up, shown modally.
  void N37Click(TObject* sender);
  // "用户维护", "职工性质维护", "部门维护": the maintenance dialogs, each made
  // for the command and freed after it (MaintenanceDialogs.cpp).
  void N28Click(TObject* sender);
  void N30Click(TObject* sender);
  void N31Click(TObject* sender);
  // Hooks the menu items to their handlers and puts the page controls of
  // the calculation, the formula editor and the menu commands in place.
  void InstallPages();

  // Controls of the pages the menu commands adjust (MainMenuPages.cpp).
  TFrameJSGs* FrameJSGs1 = nullptr;
  TSpeedButton *SptBtnRptExcel = nullptr, *SpeedButton7 = nullptr, *SpdBtnCjjZe = nullptr,
               *SpdBtnModify = nullptr, *SpdBtnYes = nullptr, *SptBtnSelPath = nullptr;
  TDBNavigator* DBNav = nullptr;
  TPanel* Panel2 = nullptr;
  TLabel *Lbljjze = nullptr, *LblXgjj = nullptr, *LblSelDir = nullptr;
  TComboBox *ComboBoxGZJJ = nullptr, *ComboBoxReport = nullptr;
  TEdit* EdtYHM = nullptr;
  TDBEdit* DbEdtPrix = nullptr;
  TUdbQuery* UdbQuery1 = nullptr;
  TSpeedButton* SptBtnGzdc = nullptr;
  TProgressBar* PrgBarGzdc = nullptr;

  // The worksheet export commands (ExportCommands.cpp): the exporter, the
  // summary query, the query of the card page's files, the card page's
  // button; InstallPages installs them.
  TWSExportToXLS* WSExportToXLS1 = nullptr;
  TUdbQuery *Adoquery1 = nullptr, *QueryExport = nullptr;
  TSpeedButton* SptBtnexcel = nullptr;
  void InstallExportCommands();
  void SptBtnexcelClick(TObject* sender);
  void SptBtnRptExcelClick(TObject* sender);

  // The report page's printed reports (PayReports.cpp): the report, its
  // dataset, the paper query, the print button, the bonus page's label.
  TrbReport* rbReport1 = nullptr;
  TrbDBDataSet* rbDBDataSet = nullptr;
  TUdbQuery* qryPaper = nullptr;
  TSpeedButton* SptBtnGzbDy = nullptr;
  TLabel* LblJJBm = nullptr;
  void InstallReports();
  void SptBtnGzbDyClick(TObject* sender);
  // The report variables: "ZBR" the operator, "DWMC" the organisation,
  // "BMMC" the bonus page's department; other names are left untouched.
  void rbReport1GetValue(const AnsiString& name, Variant& value);
  void ApplyPaper(TrbPage* page, int size, int width, int height, bool landscape);
  // Every built report starts alike: the report dataset on data, one
  // fresh page sized by paper, two passes.  Returns the page.
  TrbPage* StartBuiltReport(TDataSet* data, const std::function<void(TrbPage*)>& paper);
  // The bonus sheet from "jjff.rbf" (BonusSheet.cpp): the bonus page's
  // print button, the report page's entry, the employee selection.
  TUdbQuery* Adoquery2 = nullptr;
  TSpeedButton* SpdBtnJJprint = nullptr;
  void SpdBtnJJprintClick(TObject* sender);
  void PrintBonusSheet(int paperIdx, int paperWidth, int paperHeight, bool landscape);
  void OpenBonusSelection();
  bool LoadBonusTemplate(const AnsiString& path);
  // The unit (two characters) the unit-wide sheets print.
  AnsiString ReportUnit() const;
  void PrintRetirementTable(const AnsiString& date, int leftMarg, const std::function<void(TrbPage*)>& paper);
  void PrintPaySheet(const payroll::TPaySheet& sheet, const AnsiString& date, int leftMarg,
                     const std::function<void(TrbPage*)>& paper);

  // The employee register's pages (RegisterPages.cpp): new employee
  // (TbsZgXz), delete (TbsZgJs), retire (TbsZgTx), transfer (TbsNbDd), the
  // wage page's pension number and account, and the employee pickers.
  void InstallRegisterPages();
  void SptBtnAppeClick(TObject* sender);
  void SptBtnCanCleClick(TObject* sender);
  void SptBtnSaveClick(TObject* sender);
  void SptBtnZgJsDeleClick(TObject* sender);
  void SptBtnZgTxDeleClick(TObject* sender);
  void SptBtnNbDdClick(TObject* sender);
  void SptBtnZgPxClick(TObject* sender);
  void SptBtnXgZgXzClick(TObject* sender);
  void DBEdit2Exit(TObject* sender);
  void EditKeyPress(TObject* sender, char& key);
  TSpeedButton *SptBtnAppe = nullptr, *SptBtnSave = nullptr, *SptBtnCanCle = nullptr, *SptBtnZgJsDele = nullptr,
               *SptBtnZgTxDele = nullptr, *SptBtnNbDd = nullptr, *SptBtnXgZgXz = nullptr, *SptBtnZgXz = nullptr,
               *SpdBtnJJZgxz = nullptr, *sptBtnGwjxXz = nullptr, *SptBtnZgPx = nullptr;
  TPanel* Panel7 = nullptr;
  TEdit *EdtXm = nullptr, *EdtYlBxh = nullptr, *EdtGzZh = nullptr;
  TCheckBox* ChkBoxDbFlag = nullptr;
  TLabel* LblXzBm = nullptr;
  TDBEdit *DBEdit2 = nullptr, *DBEdit3 = nullptr;
  TDBGrid *DBGridZgJs = nullptr, *DBGridZgTx = nullptr, *DBGridNbDd = nullptr;

  AnsiString getFldNameByDesc(const AnsiString& desc) const;
  void CreatUserPanel(const AnsiString& page, TPanel* panel);
  // The department tree and the transfer-target list built from it.
  void CreatBmTreeview(TTreeView* tree);

 private:
  bool started_ = false;
};

extern TfrmMain* frmMain;
