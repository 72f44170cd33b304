#pragma once

// The small layer of window operations the windows are built on: line-addressed
// memo boards, edits with click and exit events, the text conversions, tab
// positions, and the standard display of a conversion error.

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <vector>

class QFrame;
class QLabel;

// The colours of the windows.
namespace Palette {
inline constexpr unsigned olive = 0x808000;
inline constexpr unsigned teal = 0x008080;
}  // namespace Palette

// ---- Conversions -----------------------------------------------------------

// The error family of the system: a text that does not convert.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

QString IntToStr(qint64 value);
// General format with up to 15 significant digits and a point as separator.
QString FloatToStr(double value);
// Leading blanks and a sign are allowed, nothing else but decimal digits.
int StrToInt(const QString& text);  // throws ConversionError
int StrToIntDef(const QString& text, int fallback);
// Both texts read as the same whole number; a text that is none equals nothing.
bool SameNumber(const QString& a, const QString& b);
double StrToFloat(const QString& text);  // throws ConversionError
QString AnsiUpperCase(const QString& text);

// Shows the error in the application's standard exception display, a modal
// message box (objectName "ExceptionDisplay"), and returns when it is closed.
void ShowException(const std::exception& error);
// Runs a handler; an error it raises (a conversion error above all) is shown
// and the program goes on.
void RunGuarded(const std::function<void()>& handler);

// The busy cursor, for as long as the object lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// ---- Memo boards -----------------------------------------------------------

// A memo kept as a list of lines addressed by index. A fixed board never
// grows: a write past its end is lost. A growing board extends as written.
// The widget gets the whole text once per change, or once per batch.
class MemoBoard {
public:
    MemoBoard(QPlainTextEdit* widget, int lines, bool grows = false);

    void setLine(int index, const QString& text);
    QString line(int index) const;  // the empty text past the end
    int count() const { return static_cast<int>(lines_.size()); }
    // Every line empty; a growing board goes back to its prepared size.
    void clear();
    const QStringList& lines() const { return lines_; }
    QPlainTextEdit* widget() const { return widget_; }

    // Writes between beginBatch and endBatch reach the widget once, at the end.
    void beginBatch() { ++batch_; }
    void endBatch();
    void flush();

private:
    QPlainTextEdit* widget_;
    QStringList lines_;
    int prepared_;
    bool grows_;
    int batch_ = 0;
    bool dirty_ = false;
};

// ---- Edits -----------------------------------------------------------------

// A one-line edit with the events the dialogs handle: change (textChanged),
// click, and exit (the focus moving to another control of the same window;
// losing the focus with the whole window is no exit). Its length limit binds
// typing only: a longer text set from code stays whole.
class Edit : public QLineEdit {
    Q_OBJECT
public:
    explicit Edit(const QString& name, const QString& text, QWidget* parent);
    void setTypingLimit(int limit) { limit_ = limit; }
    int typingLimit() const { return limit_; }
    int lastLength() const { return lastLength_; }

signals:
    void clicked();
    void exited();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int limit_ = 0;
    int lastLength_ = 0;
};

// ---- Windows ---------------------------------------------------------------

// Keeps a window's tab positions, including those of controls that take no
// focus, so that moving a control to a position lands it where it would in
// the full order; a position past the last goes to the end.
class TabOrder {
public:
    // Controls in tab order; nullptr stands for a position without a tab stop.
    void set(std::vector<QWidget*> order);
    void SetTabOrder(QWidget* control, int position);
    // The control's position counted from 0, -1 when it has none.
    int position(const QWidget* control) const;
    int size() const { return static_cast<int>(order_.size()); }
    QWidget* first() const;
    std::vector<QWidget*> focusChain() const;

private:
    void apply() const;
    std::vector<QWidget*> order_;
};

// Base of the dialogs: a fixed-size olive window without title-bar buttons,
// with an activation event on every activation and a close event on every close.
class Form : public QDialog {
    Q_OBJECT
public:
    Form(const QString& name, const QString& caption, int width, int height, QWidget* parent);
    // Shows the window modally and returns when it has closed.
    int ShowModal();
    TabOrder& tabOrder() { return tabOrder_; }

protected:
    virtual void FormActivate() {}
    virtual void FormClose() {}
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

public:
    void done(int result) override;

private:
    TabOrder tabOrder_;
};

// Controls with the look the windows share.
QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent, bool bold = false, int pixelSize = 0);
// A title across the top of a window: centred, teal, large type.
QLabel* MakeTitle(const QString& name, const QString& text, QWidget* parent, int pixelSize = 40);
// The dialogs' one-line message field: read-only, borderless, teal, no tab stop.
QLineEdit* MakeMessageLine(const QString& name, const QString& text, QWidget* parent);
// The serif type of the unit and army dialogs' message lines.
QFont MessageFont();
// The teal bar that parts a dialog's choice from the data below it.
QFrame* MakeRule(const QString& name, QWidget* parent);
// A read-only memo holding fixed text, no tab stop.
QPlainTextEdit* MakeMemo(const QString& name, const QStringList& lines, QWidget* parent);
enum class StandardButton { Ok, Cancel, Close };
QPushButton* MakeButton(const QString& name, StandardButton kind, QWidget* parent, const QString& caption = {});
// A command button in bold type, of pixelSize when given.
QPushButton* MakeBoldButton(const QString& name, const QString& caption, QWidget* parent, int pixelSize = 0);
void SetBackground(QWidget* widget, unsigned rgb);
