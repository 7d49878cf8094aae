#pragma once
// A progress bar that keeps its own range and position and paints itself:
// the filled part with the percentage written across it in two colours. It
// repaints only when the filled width in whole pixels changes, so stepping it
// once per transferred word stays cheap.

#include <QColor>
#include <QProgressBar>

namespace cvl::ui {

class PercentProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit PercentProgressBar(QWidget* parent = nullptr);

    void setRange(int lower, int upper);
    void setStep(int step) { step_ = step; }
    // Returns the previous position; repaints at once when the fill width changes.
    int setPos(int position);
    int stepIt() { return setPos(position_ + step_); }

    int pos() const { return position_; }
    // The filled width for the current position, in pixels.
    int fillWidth() const;
    QString percentText() const;
    int repaintCount() const { return repaints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double fraction() const;

    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int step_ = 1;
    int lastFillWidth_ = -1;
    int lastClientWidth_ = -1;
    int repaints_ = 0;
    QColor barColour_;
    QColor troughColour_;
};

}  // namespace cvl::ui
