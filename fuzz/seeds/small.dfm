object frmMain: TfrmMain
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Korvane'
  ClientHeight = 240
  ClientWidth = 320
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  object dxDraw: TDXDraw
    Align = alClient
    Display.BitCount = 16
    Options = [doAllowReboot, doWaitVBlank]
    SurfaceHeight = 240
    SurfaceWidth = 320
  end
  object dxTimer: TDXTimer
    Enabled = False
    Interval = 16
    OnTimer = dxTimerTimer
  end
  object ImageList: TDXImageList
    DXDraw = dxDraw
    Items = <
      item
        Name = 'tiny'
        Picture.Data = @picture('tiny.bmp')
        Transparent = True
        TransparentColor = clBlack
      end>
  end
  object dxFont: TDXDIB
    DIB.Data = @dib('tiny.bmp')
  end
end
