#include "destination.h"

using namespace Qt::StringLiterals;

QString windowKeyword(Destination::Window window)
{
    switch (window) {
    case Destination::Window::usual:
        return u"usual"_s;
    case Destination::Window::newWindow:
        return u"new"_s;
    case Destination::Window::privateWindow:
        return u"private"_s;
    }
    return QString();
}

std::optional<Destination::Window> windowFromKeyword(const QString& keyword)
{
    for (const auto window :
         {Destination::Window::usual, Destination::Window::newWindow, Destination::Window::privateWindow}) {
        if (keyword == windowKeyword(window))
            return window;
    }
    return std::nullopt;
}
