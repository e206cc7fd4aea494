// An ordered list of pictures of one size, addressed by index, with an optional key per image.
#pragma once

#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

class ImageList {
public:
    void setImageSize(QSize size) { size_ = size; }
    QSize imageSize() const { return size_; }
    void add(const QString &key, const QPixmap &image) { keys_.append(key), images_.append(image); }
    int count() const { return images_.size(); }
    QPixmap image(int index) const { return images_.value(index); }
    QString key(int index) const { return keys_.value(index); }
    void clear() { keys_.clear(), images_.clear(); }

private:
    QSize size_;
    QList<QString> keys_;
    QList<QPixmap> images_;
};
