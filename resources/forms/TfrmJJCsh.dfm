inherited frmJJCsh: TfrmJJCsh
  Caption = '奖金初始化'
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '奖金初始化'
    end
  end
  object Label2: TLabel
    Left = 96
    Top = 150
    Width = 150
    Height = 16
    Caption = '所有职工奖金初始化为：'
  end
  object Edtgjj: TEdit
    Left = 252
    Top = 146
    Width = 140
    Height = 21
  end
  object SpdBtnOk: TSpeedButton
    Left = 295
    Top = 284
    Width = 88
    Height = 28
    Caption = '初始化'
    OnClick = SpdBtnOkClick
  end
  object SptBtnCanCle: TSpeedButton
    Left = 393
    Top = 284
    Width = 88
    Height = 28
    Caption = '关闭'
    OnClick = SptBtnCanCleClick
  end
end
