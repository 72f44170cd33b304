#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <cmath>
#include <limits>
#include <thread>

#include "UiTestSupport.h"
#include "ui/LongWork.h"
#include "ui/Toolkit.h"

using namespace ui_test;

namespace {
// A dialog that counts its activations and closes.
class CountingForm : public Form {
public:
    explicit CountingForm(const QString& name, QWidget* parent = nullptr) : Form(name, name, 300, 200, parent) {}
    int activations = 0;
    int closes = 0;

protected:
    void FormActivate() override { ++activations; }
    void FormClose() override { ++closes; }
};
}  // namespace

class ToolkitTest : public QObject {
    Q_OBJECT
private slots:
    void strToInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "12" << true << 12;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("leading blank") << " 12" << true << 12;
        QTest::newRow("trailing blank") << "12 " << false << 0;
        QTest::newRow("plus sign") << "+5" << true << 5;
        QTest::newRow("minus zero") << "-0" << true << 0;
        QTest::newRow("negative") << "-17" << true << -17;
        QTest::newRow("largest") << "2147483647" << true << std::numeric_limits<int>::max();
        QTest::newRow("smallest") << "-2147483648" << true << std::numeric_limits<int>::min();
        QTest::newRow("one past largest") << "2147483648" << false << 0;
        QTest::newRow("one past smallest") << "-2147483649" << false << 0;
        QTest::newRow("far too long") << "99999999999999999999" << false << 0;
        QTest::newRow("fraction") << "1.5" << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
        QTest::newRow("digits then letters") << "12a" << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("blank alone") << " " << false << 0;
        QTest::newRow("two signs") << "+-1" << false << 0;
        QTest::newRow("leading zeros") << "007" << true << 7;
    }
    // The strict and the lenient conversion accept exactly the same texts.
    void strToInt() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        QCOMPARE(StrToIntDef(text, -1), valid ? value : -1);
        try {
            const int converted = StrToInt(text);
            QVERIFY2(valid, "converted a text that is no integer");
            QCOMPARE(converted, value);
        } catch (const ConversionError& error) {
            QVERIFY2(!valid, "refused an integer");
            QCOMPARE(error.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }

    void floatToStr_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1.0 << "1";
        QTest::newRow("one and a half") << 1.5 << "1.5";
        QTest::newRow("a tenth") << 0.1 << "0.1";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("minus zero") << -0.0 << "0";
        QTest::newRow("negative") << -2.25 << "-2.25";
        QTest::newRow("a third") << 1.0 / 3 << "0.333333333333333";
        QTest::newRow("15 digits whole") << 123456789012345.0 << "123456789012345";
        QTest::newRow("15 significant digits") << 1.23456789012345 << "1.23456789012345";
        QTest::newRow("16 digits round") << 1234567890123456.0 << "1.23456789012346E15";
        QTest::newRow("1e20") << 1e20 << "1E20";
        QTest::newRow("small fixed") << 0.0001 << "0.0001";
        QTest::newRow("small scientific") << 0.00001 << "1E-5";
        QTest::newRow("negative scientific") << -2.5e-7 << "-2.5E-7";
    }
    void floatToStr() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FloatToStr(value), text);
        // What is shown can be typed back.
        QCOMPARE(StrToFloat(text), std::stod(text.toStdString()));
    }

    void strToFloat_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");
        QTest::newRow("whole") << "3" << true << 3.0;
        QTest::newRow("point") << "1.5" << true << 1.5;
        QTest::newRow("blanks around") << " 2 " << true << 2.0;
        QTest::newRow("exponent") << "1E20" << true << 1e20;
        QTest::newRow("negative") << "-0.25" << true << -0.25;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("group separator") << "1,000" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0.0;
        QTest::newRow("infinity") << "inf" << false << 0.0;
        QTest::newRow("not a number") << "nan" << false << 0.0;
    }
    void strToFloat() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        try {
            QCOMPARE(StrToFloat(text), value);
            QVERIFY2(valid, "converted a text that is no number");
        } catch (const ConversionError& error) {
            QVERIFY2(!valid, "refused a number");
            QCOMPARE(error.message(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
    }

    void textHelpers() {
        QCOMPARE(AnsiUpperCase(QStringLiteral("arc")), QStringLiteral("ARC"));
        QCOMPARE(IntToStr(-42), QStringLiteral("-42"));
    }

    // A fixed board keeps its number of lines whatever is written to it.
    void fixedMemoBoard() {
        QPlainTextEdit memo;
        MemoBoard board(&memo, 5);
        QCOMPARE(board.count(), 5);
        QCOMPARE(memo.toPlainText(), QString(4, QLatin1Char('\n')));
        board.setLine(0, QStringLiteral("first"));
        board.setLine(4, QStringLiteral("last"));
        board.setLine(5, QStringLiteral("lost"));
        board.setLine(30, QStringLiteral("lost"));
        board.setLine(-1, QStringLiteral("lost"));
        QCOMPARE(board.count(), 5);
        QCOMPARE(memo.toPlainText(), QStringLiteral("first\n\n\n\nlast"));
        QCOMPARE(board.line(4), QStringLiteral("last"));
        QCOMPARE(board.line(5), QString());
        QCOMPARE(board.line(-1), QString());
        board.setLine(0, QStringLiteral("replaced"));
        QCOMPARE(board.line(0), QStringLiteral("replaced"));
        board.clear();
        QCOMPARE(board.count(), 5);
        QCOMPARE(memo.toPlainText(), QString(4, QLatin1Char('\n')));
    }

    void growingMemoBoardAndBatches() {
        QPlainTextEdit memo;
        MemoBoard board(&memo, 3, true);
        board.beginBatch();
        board.setLine(0, QStringLiteral("a"));
        board.setLine(6, QStringLiteral("g"));
        QCOMPARE(memo.toPlainText(), QStringLiteral("\n\n"));  // not yet shown
        board.endBatch();
        QCOMPARE(board.count(), 7);
        QCOMPARE(memo.toPlainText(), QStringLiteral("a\n\n\n\n\n\ng"));
        board.clear();
        QCOMPARE(board.count(), 3);
        QCOMPARE(board.line(6), QString());
    }

    void typingLimit() {
        CountingForm form(QStringLiteral("limits"));
        auto* position = new Edit(QStringLiteral("position"), QStringLiteral("Battle Position"), &form);
        position->setTypingLimit(1);
        position->setGeometry(10, 10, 200, 24);
        auto* amount = new Edit(QStringLiteral("amount"), QStringLiteral("10"), &form);
        amount->setTypingLimit(3);
        amount->setGeometry(10, 50, 200, 24);
        form.tabOrder().set({position, amount});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        // A placeholder longer than the limit stays whole.
        QCOMPARE(position->text(), QStringLiteral("Battle Position"));
        // Typing cannot make it longer.
        QTest::mouseClick(position, Qt::LeftButton);
        position->end(false);
        QTest::keyClicks(position, QStringLiteral("X"));
        QCOMPARE(position->text(), QStringLiteral("Battle Position"));
        // Deleting from it works.
        QTest::keyClick(position, Qt::Key_Backspace);
        QCOMPARE(position->text(), QStringLiteral("Battle Positio"));
        QTest::keyClicks(position, QStringLiteral("n"));
        QCOMPARE(position->text(), QStringLiteral("Battle Positio"));
        // Typing over it keeps to the limit.
        typeInto(position, QStringLiteral("FG"));
        QCOMPARE(position->text(), QStringLiteral("F"));

        typeInto(amount, QStringLiteral("1234"));
        QCOMPARE(amount->text(), QStringLiteral("123"));
        amount->setText(QStringLiteral("12345"));  // from the program: whole
        QCOMPARE(amount->text(), QStringLiteral("12345"));
        amount->selectAll();
        QTest::keyClick(amount, Qt::Key_Delete);
        QTest::keyClicks(amount, QStringLiteral("9999"));
        QCOMPARE(amount->text(), QStringLiteral("999"));
    }

    // Positions count controls without a tab stop too; moving a control past
    // the last position puts it at the end; Tab follows the order.
    void tabPositions() {
        CountingForm form(QStringLiteral("tabs"));
        std::vector<Edit*> e;
        for (int i = 0; i < 4; ++i) {
            e.push_back(new Edit(QStringLiteral("e%1").arg(i), QString(), &form));
            e.back()->setGeometry(10, 10 + 30 * i, 100, 24);
        }
        form.tabOrder().set({e[0], nullptr, e[1], e[2], e[3]});
        QCOMPARE(form.tabOrder().size(), 5);
        QCOMPARE(form.tabOrder().position(e[2]), 3);

        form.tabOrder().SetTabOrder(e[3], 1);
        QCOMPARE(form.tabOrder().position(e[3]), 1);
        form.tabOrder().SetTabOrder(e[0], 20);
        QCOMPARE(form.tabOrder().position(e[0]), 4);
        QCOMPARE(form.tabOrder().position(nullptr), 1);

        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        // The opening puts the focus on the first control of the order.
        QTRY_COMPARE(QApplication::focusWidget(), e[3]);
        QTest::keyClick(e[3], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), e[1]);
        QTest::keyClick(e[1], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), e[2]);
        QTest::keyClick(e[2], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), e[0]);
    }

    // Exit is the focus moving within the window; a window shown over it
    // takes the focus without an exit, and returning activates the form again.
    void editEventsAndFormEvents() {
        CountingForm form(QStringLiteral("events"));
        auto* first = new Edit(QStringLiteral("first"), QStringLiteral("a"), &form);
        first->setGeometry(10, 10, 100, 24);
        auto* second = new Edit(QStringLiteral("second"), QStringLiteral("b"), &form);
        second->setGeometry(10, 50, 100, 24);
        auto* ok = MakeButton(QStringLiteral("ok"), StandardButton::Ok, &form);
        ok->setGeometry(10, 100, 90, 30);
        connect(ok, &QPushButton::clicked, &form, &QDialog::accept);
        form.tabOrder().set({first, second, ok});
        int exits = 0, clicks = 0;
        connect(first, &Edit::exited, [&] { ++exits; });
        connect(second, &Edit::clicked, [&] { ++clicks; });

        int exitsAfterClick = -1, exitsAfterOver = -1, overCloses = -1;
        bool reactivated = false;
        QTimer::singleShot(0, &form, [&] {
            (void)QTest::qWaitFor([&] { return QApplication::focusWidget() == first; });
            QTest::mouseClick(second, Qt::LeftButton);
            exitsAfterClick = exits;
            QTest::mouseClick(first, Qt::LeftButton);
            const int activationsBefore = form.activations;
            // A window over the form takes the focus: no exit.
            closeWhenShown(QStringLiteral("over"), QStringLiteral("ok"));
            CountingForm over(QStringLiteral("over"), &form);
            auto* overOk = MakeButton(QStringLiteral("ok"), StandardButton::Ok, &over);
            connect(overOk, &QPushButton::clicked, &over, &QDialog::accept);
            over.tabOrder().set({overOk});
            over.ShowModal();
            overCloses = over.closes;
            exitsAfterOver = exits;
            reactivated = QTest::qWaitFor([&] { return form.activations > activationsBefore; });
            QTest::keyClick(first, Qt::Key_Escape);  // closes too
        });
        form.ShowModal();
        QCOMPARE(exitsAfterClick, 1);
        QCOMPARE(clicks, 1);
        QCOMPARE(overCloses, 1);
        QCOMPARE(exitsAfterOver, 1);
        QVERIFY2(reactivated, "returning from the window over it activates the form");
        QCOMPARE(form.closes, 1);
    }

    // A conversion error is shown by the standard display and the program goes on.
    void exceptionDisplay() {
        QString seen;
        closeExceptionWhenShown(&seen);
        bool wentOn = false;
        RunGuarded([] { StrToInt(QStringLiteral("ID")); });
        wentOn = true;
        QVERIFY(wentOn);
        QCOMPARE(seen, QStringLiteral("'ID' is not a valid integer value"));
        QVERIFY(!activeModal());
    }

    // Long work that fails after its progress window showed: the error
    // reaches the caller, and the window is gone and input flows again
    // (a filter left behind would leave the program deaf).
    void longWorkFailure() {
        CountingForm owner(QStringLiteral("owner"));
        owner.show();
        LongWork work(&owner, QStringLiteral("progress"), QStringLiteral("Working"));
        QString shown;
        int barMaximum = -1;
        auto* poll = new QTimer(&owner);
        connect(poll, &QTimer::timeout, [&] {
            if (work.window->isVisible()) {
                shown = work.text->text();
                barMaximum = work.bar->maximum();
            }
        });
        poll->start(10);
        QString error;
        try {
            work.run([](LongWork::Control& control) {
                control.report(3, 7, QStringLiteral("Numbers tried: 3"));
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                throw std::runtime_error("no luck");
            });
        } catch (const std::runtime_error& e) {
            error = QString::fromLatin1(e.what());
        }
        QCOMPARE(error, QStringLiteral("no luck"));
        QCOMPARE(shown, QStringLiteral("Numbers tried: 3"));
        QCOMPARE(barMaximum, 7);
        QVERIFY(!work.running());
        QVERIFY(!work.window->isVisible());
        auto* button = MakeButton(QStringLiteral("after"), StandardButton::Ok, &owner);
        button->show();
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }
};

QTEST_MAIN(ToolkitTest)
#include "ui_toolkit_test.moc"
