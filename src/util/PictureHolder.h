#pragma once
// What the image members of EDiv need of a picture-holding control: loading a picture file
// into it. The core never touches a widget; the windows implement this for their picture
// boxes and image controls.

#include <QString>

class PictureHolder {
public:
    virtual ~PictureHolder() = default;
    // Loads the picture in the file into the control. Raises a platform::RuntimeError (481,
    // "Invalid picture") when the file holds no picture the control can show; the control
    // then keeps the picture it had.
    virtual void LoadPicture(const QString& filePath) = 0;
};
