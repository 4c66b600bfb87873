object frmMain: TfrmMain
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Korvane'
  ClientHeight = 240
  ClientWidth = 320
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnKeyDown = FormKeyDown
  object dxDraw: TDXDraw
    Left = 0
    Top = 0
    Width = 320
    Height = 240
    Align = alClient
    AutoInitialize = True
    AutoSize = False
    Display.BitCount = 16
    Display.FixedBitCount = True
    Display.FixedRatio = True
    Display.FixedSize = False
    Display.Height = 240
    Display.Width = 320
    Options = [doAllowReboot, doWaitVBlank, doHardware, doSelectDriver]
    SurfaceHeight = 240
    SurfaceWidth = 320
    TabStop = False
  end
  object dxTimer: TDXTimer
    ActiveOnly = True
    Enabled = False
    Interval = 16
    OnTimer = dxTimerTimer
    Left = 8
    Top = 8
  end
  object ImageList: TDXImageList
    DXDraw = dxDraw
    Items = <
      item
        Name = 'kvnLogo'
        PatternHeight = 0
        PatternWidth = 0
        Picture.Data = @picture('kvnLogo.bmp')
        SystemMemory = False
        Transparent = True
        TransparentColor = clBlack
      end>
    Left = 40
    Top = 8
  end
  object dxFont: TDXDIB
    DIB.Data = @dib('FontSheet.bmp')
    Left = 72
    Top = 8
  end
end
