#include "Toolkit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QValidator>
#include <cmath>
#include <optional>

#include "rules/DialogRules.h"

// ---- Conversions -----------------------------------------------------------

QString IntToStr(qint64 value) {
    return QString::number(value);
}

QString FloatToStr(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");  // no "-0"
    // The 'g' rule of 15 digits already picks fixed or scientific form as the
    // general format does; only the exponent is written the toolkit's way:
    // a capital E, a sign only when negative, no leading zeros ("1E20").
    QString text = QString::number(value, 'g', 15);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e < 0)
        return text;
    const QString mantissa = text.left(e);
    const int exponent = text.mid(e + 1).toInt();
    return mantissa + QLatin1Char('E') + QString::number(exponent);
}

int StrToInt(const QString& text) {
    const std::optional<int> value = DialogInteger(text.toStdString());
    if (!value)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return *value;
}

int StrToIntDef(const QString& text, int fallback) {
    return DialogInteger(text.toStdString()).value_or(fallback);
}

bool SameNumber(const QString& a, const QString& b) {
    const std::optional<int> x = DialogInteger(a.toStdString());
    return x && x == DialogInteger(b.toStdString());
}

double StrToFloat(const QString& text) {
    // The point is the only separator: "1,5" and "1,000" are not numbers.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || text.trimmed().isEmpty())
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

QString AnsiUpperCase(const QString& text) {
    return text.toUpper();
}

namespace {
// Gives the activation back to the window a modal one was shown over, as
// desktop window managers do; some platforms leave it with no window, and
// the windows rely on the activation event of that return.
void Reactivate(const QPointer<QWidget>& previous, const QWidget* modal) {
    if (previous && previous != modal && previous->isVisible() && !previous->isActiveWindow())
        previous->activateWindow();
}
}  // namespace

void ShowException(const std::exception& error) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Orb 2.0 Battle Simulator"),
                    QString::fromStdString(error.what()), QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ExceptionDisplay"));
    const QPointer<QWidget> previous = QApplication::activeWindow();
    box.exec();
    Reactivate(previous, &box);
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        // Whatever reaches the message loop is shown, and the program goes on.
        ShowException(error);
    }
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

// ---- Memo boards -----------------------------------------------------------

MemoBoard::MemoBoard(QPlainTextEdit* widget, int lines, bool grows) : widget_(widget), prepared_(lines), grows_(grows) {
    for (int i = 0; i < lines; ++i)
        lines_.append(QString());
    flush();
}

void MemoBoard::setLine(int index, const QString& text) {
    if (index < 0)
        return;
    if (index >= lines_.size()) {
        if (!grows_)
            return;
        while (lines_.size() <= index)
            lines_.append(QString());
    }
    lines_[index] = text;
    dirty_ = true;
    if (batch_ == 0)
        flush();
}

QString MemoBoard::line(int index) const {
    return index >= 0 && index < lines_.size() ? lines_[index] : QString();
}

void MemoBoard::clear() {
    lines_.clear();
    for (int i = 0; i < prepared_; ++i)
        lines_.append(QString());
    dirty_ = true;
    if (batch_ == 0)
        flush();
}

void MemoBoard::endBatch() {
    if (batch_ > 0 && --batch_ == 0 && dirty_)
        flush();
}

void MemoBoard::flush() {
    dirty_ = false;
    if (widget_)
        widget_->setPlainText(lines_.join(QLatin1Char('\n')));
}

// ---- Edits -----------------------------------------------------------------

namespace {
// Refuses typing that would make the text longer than the limit, but lets a
// longer text set from code be shortened or replaced.
class TypingLimitValidator : public QValidator {
public:
    explicit TypingLimitValidator(Edit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& text, int&) const override {
        const int limit = edit_->typingLimit();
        if (limit > 0 && text.size() > limit && text.size() > edit_->lastLength())
            return Invalid;
        return Acceptable;
    }

private:
    Edit* edit_;
};
}  // namespace

Edit::Edit(const QString& name, const QString& text, QWidget* parent) : QLineEdit(parent) {
    setObjectName(name);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& t) { lastLength_ = static_cast<int>(t.size()); });
    setValidator(new TypingLimitValidator(this));
    setText(text);
}

void Edit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void Edit::focusOutEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    QLineEdit::focusOutEvent(event);
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        emit exited();
}

// ---- Windows ---------------------------------------------------------------

void TabOrder::set(std::vector<QWidget*> order) {
    order_ = std::move(order);
    apply();
}

void TabOrder::SetTabOrder(QWidget* control, int position) {
    std::erase(order_, control);
    if (position < 0)
        position = 0;
    if (position > static_cast<int>(order_.size()))
        position = static_cast<int>(order_.size());
    order_.insert(order_.begin() + position, control);
    apply();
}

int TabOrder::position(const QWidget* control) const {
    for (size_t i = 0; i < order_.size(); ++i)
        if (order_[i] == control)
            return static_cast<int>(i);
    return -1;
}

std::vector<QWidget*> TabOrder::focusChain() const {
    std::vector<QWidget*> chain;
    for (QWidget* w : order_)
        if (w && w->focusPolicy() != Qt::NoFocus)
            chain.push_back(w);
    return chain;
}

QWidget* TabOrder::first() const {
    for (QWidget* w : focusChain())
        if (w->isVisibleTo(w->window()) && w->isEnabled())
            return w;
    return nullptr;
}

void TabOrder::apply() const {
    const auto chain = focusChain();
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void SetBackground(QWidget* widget, unsigned rgb) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, QColor::fromRgb(rgb));
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

Form::Form(const QString& name, const QString& caption, int width, int height, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(name);
    setWindowTitle(caption);
    setFixedSize(width, height);
    SetBackground(this, Palette::olive);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
}

int Form::ShowModal() {
    const QPointer<QWidget> previous = QApplication::activeWindow();
    const int result = exec();
    Reactivate(previous, this);
    return result;
}

bool Form::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Each opening starts at the first control of the tab order.
    if (QWidget* first = tabOrder_.first())
        first->setFocus(Qt::TabFocusReason);
}

void Form::done(int result) {
    FormClose();
    QDialog::done(result);
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent, bool bold, int pixelSize) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setBold(bold);
    if (pixelSize > 0)
        f.setPixelSize(pixelSize);
    label->setFont(f);
    return label;
}

QLabel* MakeTitle(const QString& name, const QString& text, QWidget* parent, int pixelSize) {
    QLabel* label = MakeLabel(name, text, parent, true, pixelSize);
    label->setAlignment(Qt::AlignCenter);
    SetBackground(label, Palette::teal);
    return label;
}

QLineEdit* MakeMessageLine(const QString& name, const QString& text, QWidget* parent) {
    auto* line = new QLineEdit(text, parent);
    line->setObjectName(name);
    line->setReadOnly(true);
    line->setFrame(false);
    line->setFocusPolicy(Qt::NoFocus);
    QPalette p = line->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(Palette::teal));
    p.setColor(QPalette::Text, Qt::white);
    line->setPalette(p);
    return line;
}

QFont MessageFont() {
    QFont font(QStringLiteral("MS Serif"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(17);
    return font;
}

QFrame* MakeRule(const QString& name, QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setObjectName(name);
    rule->setFrameShape(QFrame::NoFrame);
    SetBackground(rule, Palette::teal);
    return rule;
}

QPlainTextEdit* MakeMemo(const QString& name, const QStringList& lines, QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setFocusPolicy(Qt::NoFocus);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    return memo;
}

QPushButton* MakeBoldButton(const QString& name, const QString& caption, QWidget* parent, int pixelSize) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    QFont f = button->font();
    f.setBold(true);
    if (pixelSize > 0)
        f.setPixelSize(pixelSize);
    button->setFont(f);
    return button;
}

QPushButton* MakeButton(const QString& name, StandardButton kind, QWidget* parent, const QString& caption) {
    QStyle::StandardPixmap icon = QStyle::SP_DialogOkButton;
    QString text = QStringLiteral("OK");
    if (kind == StandardButton::Cancel) {
        icon = QStyle::SP_DialogCancelButton;
        text = QStringLiteral("Cancel");
    } else if (kind == StandardButton::Close) {
        icon = QStyle::SP_DialogCloseButton;
        text = QStringLiteral("Close");
    }
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption.isEmpty() ? text : caption, parent);
    button->setObjectName(name);
    return button;
}
