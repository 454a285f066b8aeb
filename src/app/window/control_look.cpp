#include "control_look.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "program_text.h"
#include "widgets.h"

namespace vq {

namespace {

bool isEditBox(const QObject* o)
{
    return qobject_cast<const QLineEdit*>(o) || qobject_cast<const QPlainTextEdit*>(o) || qobject_cast<const QComboBox*>(o);
}

} // namespace

QColor toQColor(const Colour& colour)
{
    switch (colour.kind) {
    case Colour::Kind::ButtonFace: return QApplication::palette().color(QPalette::Active, QPalette::Button);
    case Colour::Kind::WindowBackground: return QApplication::palette().color(QPalette::Active, QPalette::Base);
    case Colour::Kind::Rgb: break;
    }
    return QColor(int((colour.rgb >> 16) & 0xFF), int((colour.rgb >> 8) & 0xFF), int(colour.rgb & 0xFF));
}

Colour defaultBackColour(const QObject* object)
{
    return object && isEditBox(object) ? Colour::windowBackground() : Colour::buttonFace();
}

QString buttonStyleSheet(const QColor& back)
{
    // Flat face in the given colour; a darker, thicker border while pressed.
    return QStringLiteral("QPushButton { background-color: %1; border: 1px solid #8a8a8a; border-radius: 2px; }"
                          "QPushButton:focus { border: 1px solid #3d6fb4; }"
                          "QPushButton:pressed { border: 2px solid #505050; }")
        .arg(back.name());
}

void showBackColour(QObject* object, const Colour& colour)
{
    if (!object) return;
    const QColor c = toQColor(colour);
    if (auto* lamp = qobject_cast<Lamp*>(object)) {
        lamp->setFill(c);
    } else if (auto* button = qobject_cast<QPushButton*>(object)) {
        if (button->property("graphical").toBool() || colour.kind == Colour::Kind::Rgb)
            button->setStyleSheet(buttonStyleSheet(c));
        else
            button->setStyleSheet(QString());
    } else if (isEditBox(object)) {
        auto* w = static_cast<QWidget*>(object);
        QPalette pal = w->palette();
        pal.setColor(QPalette::Base, c);
        w->setPalette(pal);
    } else if (auto* w = qobject_cast<QWidget*>(object)) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, c);
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
}

QString textOf(const QObject* object)
{
    if (auto* e = qobject_cast<const QLineEdit*>(object)) return e->text();
    if (auto* e = qobject_cast<const QPlainTextEdit*>(object)) return programText(*e);
    if (auto* c = qobject_cast<const QComboBox*>(object)) return c->currentText();
    if (auto* l = qobject_cast<const QLabel*>(object)) return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(object)) return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(object)) return g->title();
    if (auto* a = qobject_cast<const QAction*>(object)) return a->text();
    if (auto* m = qobject_cast<const QMenu*>(object)) return m->title();
    if (auto* t = qobject_cast<const QTabWidget*>(object)) return t->tabText(t->currentIndex());
    if (auto* l = qobject_cast<const QListWidget*>(object)) {
        QStringList lines;
        for (int i = 0; i < l->count(); ++i) lines << l->item(i)->text();
        return lines.join(u'\n');
    }
    if (auto* w = qobject_cast<const QMainWindow*>(object)) return w->windowTitle();
    return {};
}

void setTextOf(QObject* object, const QString& text)
{
    // Labels first: they take most of the texts of every status and pose
    // reply (the classes below do not derive from each other).
    if (auto* l = qobject_cast<QLabel*>(object)) {
        if (l->text() != text) l->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(object)) {
        if (e->text() != text) e->setText(text); // an equal text keeps the operator's cursor
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(object)) {
        // Only the program keeps its exact line ends; the frame boxes hold
        // one line of hex text and are replaced on every request and reply.
        if (object->objectName() == QLatin1String("Text7")) setProgramText(*p, text);
        else if (auto* box = qobject_cast<ProgramEditor*>(p)) box->replaceText(text);
        else if (p->toPlainText() != text) p->setPlainText(text);
    } else if (auto* c = qobject_cast<QComboBox*>(object)) {
        if (c->currentText() != text) {
            c->setEditText(text);
            // A text wider than the box shows its start, and whole as a tooltip.
            if (QLineEdit* e = c->lineEdit()) e->setCursorPosition(0);
            c->setToolTip(text);
        }
    } else if (auto* b = qobject_cast<QAbstractButton*>(object)) {
        b->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(object)) {
        g->setTitle(text);
    } else if (auto* a = qobject_cast<QAction*>(object)) {
        a->setText(text);
    } else if (auto* m = qobject_cast<QMenu*>(object)) {
        m->setTitle(text);
    } else if (auto* t = qobject_cast<QTabWidget*>(object)) {
        if (t->currentIndex() >= 0) t->setTabText(t->currentIndex(), text);
    } else if (auto* w = qobject_cast<QMainWindow*>(object)) {
        w->setWindowTitle(text);
    }
}

} // namespace vq
