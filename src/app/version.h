/* The wrapper's own version: the one definition behind the usage text and the program's version
 * resource. Plain preprocessor, so that the resource compiler reads it too. */
#ifndef WRAPPER_VERSION_H
#define WRAPPER_VERSION_H

#define WRAPPER_VERSION_MAJOR 1
#define WRAPPER_VERSION_MINOR 8
#define WRAPPER_VERSION_BUILD 0
#define WRAPPER_VERSION_REVISION 1

#define WRAPPER_STRINGIFY_(text) #text
#define WRAPPER_STRINGIFY(text) WRAPPER_STRINGIFY_(text)
#define WRAPPER_DOTTED_(a, b, c, d) a.b.c.d
/* "1.8.0.1" */
#define WRAPPER_VERSION_TEXT                                                                       \
    WRAPPER_STRINGIFY(WRAPPER_DOTTED_(WRAPPER_VERSION_MAJOR, WRAPPER_VERSION_MINOR,                \
                                      WRAPPER_VERSION_BUILD, WRAPPER_VERSION_REVISION))

#endif
