#include "experience_bar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <cmath>

namespace tessaly {

namespace {

class ExperienceBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ExperienceBarAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Description:
                return Bar()->toolTip();
            case QAccessible::Value:
                return QString::number(static_cast<double>(Bar()->Value()));
            default:
                return QAccessibleWidget::text(kind);
        }
    }

    QVariant currentValue() const override { return Bar()->Value(); }
    void setCurrentValue(const QVariant&) override {}  // read-only for assistive tools
    QVariant maximumValue() const override { return Bar()->Maximum(); }
    QVariant minimumValue() const override { return Bar()->Minimum(); }
    QVariant minimumStepSize() const override { return 0.0F; }

private:
    const ExperienceBar* Bar() const { return static_cast<const ExperienceBar*>(widget()); }
};

QAccessibleInterface* ExperienceBarAccessibleFactory(const QString& key, QObject* object) {
    if (key == QLatin1String(ExperienceBar::staticMetaObject.className()) &&
        object->isWidgetType()) {
        return new ExperienceBarAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

}  // namespace

ExperienceBar::ExperienceBar(QWidget* parent) : QWidget(parent) {
    static const bool FactoryInstalled = [] {
        QAccessible::installFactory(ExperienceBarAccessibleFactory);
        return true;
    }();
    Q_UNUSED(FactoryInstalled);
}

void ExperienceBar::SetMinimum(float minimum) {
    minimum_ = minimum;
    Changed();
}

void ExperienceBar::SetMaximum(float maximum) {
    maximum_ = maximum;
    Changed();
}

void ExperienceBar::SetValue(float value) {
    value_ = value;
    Changed();
}

void ExperienceBar::Changed() {
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value_);
        QAccessible::updateAccessibility(&event);
    }
}

double ExperienceBar::FilledFraction() const {
    const double range = static_cast<double>(maximum_) - minimum_;
    if (!(range > 0.0)) {
        return 0.0;
    }
    const double fraction = (static_cast<double>(value_) - minimum_) / range;
    return std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
}

void ExperienceBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());

    // Filled in blocks, the way a classic progress bar shows its progress.
    const QRect inner = rect().adjusted(2, 2, -2, -2);
    const int filled = static_cast<int>(std::lround(FilledFraction() * inner.width()));
    const int block = std::max(3, inner.height() * 2 / 3);
    const QColor colour = palette().color(QPalette::Highlight);
    for (int x = 0; x < filled; x += block + 1) {
        painter.fillRect(inner.left() + x, inner.top(), std::min(block, filled - x), inner.height(),
                         colour);
    }
}

}  // namespace tessaly
