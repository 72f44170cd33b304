#pragma once

#include "Toolkit.h"

class QLabel;

// The welcome window shown once at start.
class TIntroform : public Form {
    Q_OBJECT
public:
    explicit TIntroform(QWidget* parent);

    QLabel* welcome;
    QPlainTextEdit* Extrainfo;
    QPushButton* okbtn;
};

extern TIntroform* Introform;
