#pragma once

#include <QImage>

#include <string>

// What a sidebar row shows of the object it represents: a picture of it and
// a title the user may change.
class WendleSidebarItemRepresentedObject {
public:
    virtual ~WendleSidebarItemRepresentedObject() = default;

    // A picture of the object's current contents (null when there is none).
    virtual QImage snapshot() const = 0;
    virtual std::string displayTitle() const = 0;
    virtual void setDisplayTitle(const std::string& title) = 0;
};
