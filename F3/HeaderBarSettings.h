#pragma once

namespace F3 {

// Where the header bar puts its title-bar buttons, logo and title, in DIP; an icon id of 0
// leaves that button out.
struct HeaderBarSettings {
    float buttonSize = 0;
    float buttonRightMargin = 0;
    float buttonGap = 0;
    float buttonTop = 0;
    int closeIconId = 0;
    int minimiseIconId = 0;
    int logoImageId = 0;
    float logoWidth = 0;
    float logoHeight = 0;
    float logoLeft = 0;
    float logoTop = 0;
    float titleLeft = 0;
    float titleTop = 0;
};

}  // namespace F3
