// help_card.h -- the keys' help card over the frame: a picture of the keys' table, taken into GL on first use, drawn centred and see-through
#pragma once
#include <cstddef>
#include <cstdint>

// The card as a front end embeds it: a JPEG of the keys' table (talumen-data draws it from
// keys.h), taken into GL the first time it is drawn. A picture that is missing, does not
// decode, or has a side that is no power of two (GLU would rescale its lettering) gives no
// card: nothing is drawn and nothing is said, the keys work as ever.
struct HelpCard {
    static constexpr float opacity = 0.85f;

    const unsigned char* jpeg = nullptr;  // the embedded file, which outlives the card
    size_t size = 0;
    uint32_t texture = 0;  // the GL texture; 0 until taken, or where the picture is unusable
    int width = 0;
    int height = 0;
    bool tried = false;  // taken into GL, or found unusable: either way only once

    // Over the frame just drawn, in the viewport the frame left (its picture's band): centred,
    // at one texel a pixel where it fits in nine tenths of the band, shrunk to that where not.
    // Only raw GL calls, every state they touch put back, the carried ones by applyCarriedGl(),
    // so that the frame's record (frameState) is untouched and later frames draw as ever.
    void draw();
    // Takes the picture into GL; false (nothing left behind) where it is unusable.
    bool take();
    // Gives the texture back, in the context it was made in, and forgets it.
    void release();
};
extern HelpCard helpCard;

// What a front end that shows the card hands the run as its drawOverFrame (app/run.h).
void drawHelpCard();
