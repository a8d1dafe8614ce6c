/*
 * accessible.cpp - naming the controls of a window for screen readers.
 *
 * Qt builds what a screen reader hears from the widgets themselves; this
 * only fills the gaps it leaves. Parts of composite controls (the text box
 * inside a list, the scroll bars of a text box) speak through their owner
 * and are left alone.
 */
#include "app/dialogs/accessible.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>

/* A part of a list box, number box or scroll area rather than a control of
 * its own. */
static bool mdlIsPartOfControl(const QWidget *widget) {
    for (QWidget *owner = widget->parentWidget(); owner; owner = owner->parentWidget())
        if (qobject_cast<QComboBox *>(owner) || qobject_cast<QAbstractSpinBox *>(owner))
            return true;
    QWidget *parent = widget->parentWidget();
    return qobject_cast<const QAbstractSlider *>(widget) && parent &&
           parent->objectName().startsWith("qt_scrollarea_");
}

namespace {

/* The status field's interface: the widget's own name, the label's text as
 * the value. */
class MdlStatusFieldAccessible : public QAccessibleWidget {
  public:
    explicit MdlStatusFieldAccessible(QLabel *field)
        : QAccessibleWidget(field, QAccessible::StaticText) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return static_cast<QLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

const char *const statusFieldProperty = "kvStatusField";

QAccessibleInterface *mdlStatusFieldFactory(const QString &, QObject *object) {
    auto *field = qobject_cast<QLabel *>(object);
    if (!field || !field->property(statusFieldProperty).toBool()) return nullptr;
    return new MdlStatusFieldAccessible(field);
}

} // namespace

void mdlMarkStatusField(QLabel *field) {
    static bool installed = false;
    if (!installed) QAccessible::installFactory(mdlStatusFieldFactory);
    installed = true;
    field->setProperty(statusFieldProperty, true);
}

bool mdlIsControl(const QWidget *widget) {
    bool control =
        qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget) ||
        qobject_cast<const QAbstractSlider *>(widget) ||
        qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QLineEdit *>(widget) ||
        qobject_cast<const QTextEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget) ||
        qobject_cast<const QAbstractItemView *>(widget);
    return control && !mdlIsPartOfControl(widget);
}

static QString mdlWithoutMnemonic(QString text) {
    text.replace("&&", "\x01");
    text.remove('&');
    text.replace('\x01', '&');
    return text.trimmed().remove(QRegularExpression(":$")).trimmed();
}

/* The label that names `control`, searched among the labels of its window. */
static QString mdlBuddyText(QWidget *control) {
    for (QLabel *label : control->window()->findChildren<QLabel *>())
        if (label->buddy() == control) return mdlWithoutMnemonic(label->text());
    return {};
}

/* "sldVolume" reads "Volume", "cmbInputDevice" reads "Input Device"; the
 * buttons Qt adds when a toolbar or the menu bar runs out of room get the
 * names of what they open. */
static QString mdlNameFromObjectName(const QString &objectName) {
    if (objectName == "qt_toolbar_ext_button") return "More Buttons";
    if (objectName == "qt_menubar_ext_button") return "More Menus";
    if (objectName.startsWith("qt_")) return {};
    QString name = objectName;
    name.remove(QRegularExpression("^[a-z]{1,4}(?=[A-Z0-9])"));
    name.replace(QRegularExpression("([a-z0-9])([A-Z])"), "\\1 \\2");
    return name.trimmed();
}

static QString mdlChosenName(QWidget *control) {
    bool captioned = qobject_cast<QAbstractButton *>(control) != nullptr;
    if (captioned) {
        QString caption = mdlWithoutMnemonic(static_cast<QAbstractButton *>(control)->text());
        if (!caption.isEmpty()) return {};
    }
    for (const QString &candidate : {mdlBuddyText(control), mdlWithoutMnemonic(control->toolTip()),
                                     mdlNameFromObjectName(control->objectName())})
        if (!candidate.isEmpty()) return candidate;
    return {};
}

void mdlNameControls(QWidget *window) {
    if (!window) return;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!mdlIsControl(widget) || !widget->accessibleName().isEmpty()) continue;
        QString name = mdlChosenName(widget);
        if (!name.isEmpty()) widget->setAccessibleName(name);
    }
}
