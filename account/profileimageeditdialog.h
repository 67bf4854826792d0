#pragma once

#include <QDialog>
#include <QPixmap>

class ProfileImageView;

// "Edit Profile Image": shows the chosen picture in a ProfileImageView to cut a square from it.
// After it was accepted, selectedPicture() is the square.
class ProfileImageEditDialog : public QDialog
{
    Q_OBJECT
public:
    // The side of the square view, in pixels.
    static constexpr int kViewSide = 300;

    explicit ProfileImageEditDialog(const QString& filePath, QWidget* parent = nullptr);

    // Whether the file loaded as a picture.
    bool isLoaded() const { return m_loaded; }
    QPixmap selectedPicture() const;
    ProfileImageView* view() const { return m_view; }

private:
    ProfileImageView* m_view = nullptr;
    bool m_loaded = false;
};
