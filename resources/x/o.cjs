/* Parvane's skin: a Qt style sheet applied to the main window at start-up.
   Sizes and places of the controls are fixed by the window; this sheet only
   paints them, so it sets no widths, heights or margins that move contents. */

QWidget#Form1 {
  background-color: palette(button);
}

QGroupBox {
  background-color: palette(button);
  border: 1px solid #b4c0cf;
  border-radius: 5px;
  margin-top: 7px;
  color: #27466b;
}

QGroupBox::title {
  subcontrol-origin: margin;
  subcontrol-position: top left;
  left: 9px;
  padding: 0px 3px;
}

QGroupBox#Frame3 {
  border: none;
  margin-top: 0px;
}

QRadioButton, QCheckBox, QLabel {
  background-color: palette(button);
  color: #1f2d3d;
}

QRadioButton:disabled, QCheckBox:disabled {
  color: #98a3b0;
}

QPushButton {
  color: #1d3557;
  background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                    stop: 0 #ffffff, stop: 1 #dfe7f1);
  border: 1px solid #8ca2bd;
  border-radius: 5px;
  padding: 0px 4px;
}

QPushButton:hover {
  background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                    stop: 0 #f4f9ff, stop: 1 #cddff5);
  border-color: #4a78b0;
}

QPushButton:pressed {
  background-color: #bcd2ee;
}

QPushButton:disabled {
  color: #9aa5b1;
  border-color: #c3ccd6;
}

QPushButton#PushButton2 {
  color: #ffffff;
  background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                    stop: 0 #4f8fd8, stop: 1 #2d68b3);
  border-color: #22548f;
}

QPushButton#PushButton2:hover {
  background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                    stop: 0 #63a0e6, stop: 1 #3776c4);
}

QPushButton#PushButton2:pressed {
  background-color: #24568f;
}

/* The button that has the keyboard focus wears a ring of its own colour,
   on every button, hovered or not. */
QPushButton:focus, QPushButton:focus:hover,
QPushButton#PushButton2:focus, QPushButton#PushButton2:focus:hover {
  border: 2px solid #e58a00;
}

QLineEdit, QComboBox {
  background-color: #ffffff;
  border: 1px solid #9fb0c4;
  border-radius: 3px;
  padding: 0px 4px;
  color: #1f2d3d;
}

QLineEdit:disabled, QComboBox:disabled {
  background-color: #eef1f4;
  color: #98a3b0;
}

/* The arrow area is part of the box: no edge of its own but the thin line
   that parts it from the text. */
QComboBox::drop-down {
  subcontrol-origin: padding;
  subcontrol-position: top right;
  width: 18px;
  border: none;
  border-left: 1px solid #9fb0c4;
}

/* The arrow's pictures lie beside this sheet ("skin:" is its folder). */
QComboBox::down-arrow {
  image: url(skin:down-arrow.png);
}

QComboBox::down-arrow:disabled {
  image: url(skin:down-arrow-disabled.png);
}

QLineEdit:focus, QComboBox:focus {
  border-color: #e58a00;
}

QTreeWidget#ListView1 {
  background-color: #ffffff;
  border: 1px solid #9fb0c4;
  border-radius: 3px;
  selection-background-color: #3776c4;
}

QHeaderView::section {
  background-color: #e8eef6;
  color: #27466b;
  border: none;
  border-bottom: 1px solid #b4c0cf;
  padding: 2px 4px;
}

QProgressBar {
  border: 1px solid #8ca2bd;
  border-radius: 5px;
  background-color: #ffffff;
  color: #1d3557;
  text-align: center;
}

QProgressBar::chunk {
  border-radius: 4px;
  background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                    stop: 0 #a9d0ff, stop: 1 #5d9de6);
}
