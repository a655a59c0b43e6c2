inherited frmRptPaper: TfrmRptPaper
  Caption = '报表页面设置'
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '报表页面设置'
    end
  end
end
