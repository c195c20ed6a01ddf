# keys_picture.cmake -- draws the player's help card (the keys' table) and embeds it in the player
#
# The same script as the dialog's picture (dialog_picture.cmake) asks talumen-data for the card
# and writes it out as the byte array keysPictureJpeg; where the tool draws nothing, the array is
# empty and the player shows no card.

set(TALUMEN_KEYS_PICTURE_SOURCE ${CMAKE_BINARY_DIR}/resources/keys_picture.cpp)
add_custom_command(OUTPUT ${TALUMEN_KEYS_PICTURE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:talumen-data>
          -DOPTION=--keys-picture -DSYMBOL=keysPictureJpeg "-DWHAT=the player's help card, the keys' table"
          -DPICTURE=${CMAKE_BINARY_DIR}/resources/keys.jpg
          -DSOURCE=${TALUMEN_KEYS_PICTURE_SOURCE}
          -P ${CMAKE_CURRENT_LIST_DIR}/dialog_picture.cmake
  DEPENDS talumen-data ${CMAKE_CURRENT_LIST_DIR}/dialog_picture.cmake ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Drawing the player's help card"
  VERBATIM)
target_sources(talumen_platform PRIVATE ${TALUMEN_KEYS_PICTURE_SOURCE})
