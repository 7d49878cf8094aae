#pragma once
// Accepts text only while its UTF-8 form fits a byte limit: the pod stores
// names as 8 bytes, so a box for them takes 8 bytes, whole characters only.

#include <QValidator>

namespace cvl::ui {

class Utf8LengthValidator : public QValidator {
public:
    Utf8LengthValidator(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}
    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= maxBytes_ ? Acceptable : Invalid;
    }

private:
    int maxBytes_;
};

}  // namespace cvl::ui
