inherited FrmBackData: TFrmBackData
  Caption = '数据备份/恢复'
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '数据备份与恢复'
    end
  end
end
