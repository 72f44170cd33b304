#pragma once

#include "Toolkit.h"

class TModform1 : public Form {
    Q_OBJECT
public:
    explicit TModform1(QWidget* parent);

    Edit* Id;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
