#pragma once

#include <QWidget>

namespace tessaly {

// A horizontal progress bar with single-precision minimum, maximum and value,
// each readable back exactly as set. It never refuses a setting: a value
// outside the range is drawn clamped, and a maximum not above the minimum
// draws an empty bar. Screen readers see it as a progress bar with its value.
class ExperienceBar : public QWidget {
    Q_OBJECT

public:
    explicit ExperienceBar(QWidget* parent = nullptr);

    float Minimum() const { return minimum_; }
    float Maximum() const { return maximum_; }
    float Value() const { return value_; }

    void SetMinimum(float minimum);
    void SetMaximum(float maximum);
    void SetValue(float value);

    // How much of the bar is filled, 0 to 1.
    double FilledFraction() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();

    float minimum_ = 0.0F;
    float maximum_ = 100.0F;
    float value_ = 0.0F;
};

}  // namespace tessaly
