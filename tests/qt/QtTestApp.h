// The one application object the window tests share, on Qt's offscreen
// platform so that the tests need no display.
#pragma once

class QApplication;

QApplication& TestApp();
