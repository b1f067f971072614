#include "exedit2/effect_items.h"

#include <cmath>

#include "exedit2/video_call.h"

namespace {

using exedit2::SelectItem;
using exedit2::SelectOption;
using exedit2::TrackItem;

// The items' names are the keys under which projects keep their values: never renamed.
const SelectOption size_by_options[] = {{u"Scale", 0}, {u"Pixels", 1}, {nullptr, 0}};
const SelectOption method_options[] = {{u"Point", 0},     {u"Area", 1}, {u"Bicubic", 2},
                                       {u"Lanczos-3", 3}, {u"Auto", 4}, {nullptr, 0}};

SelectItem size_by_item{{u"select", u"Size by"}, static_cast<std::int32_t>(SizeBy::scale), size_by_options};
TrackItem scale_item{{u"track", u"Scale"}, 100, 1, 800, 0.01};
TrackItem width_item{{u"track", u"Width"}, 0, 0, kMaxOutputSide, 1};
TrackItem height_item{{u"track", u"Height"}, 0, 0, kMaxOutputSide, 1};
SelectItem method_item{{u"select", u"Method"}, static_cast<std::int32_t>(EffectMethod::automatic), method_options};
TrackItem device_rate_item{{u"track", u"T. Rate"}, 0, 0, 256, 1};
TrackItem cpu_threads_item{{u"track", u"CPU T."}, 0, 0, 16, 1};

void* items[] = {&size_by_item, &scale_item,       &width_item,       &height_item,
                 &method_item,  &device_rate_item, &cpu_threads_item, nullptr};

exedit2::FilterTable table{
    exedit2::kFilterVideo,
    u"Vantreo",
    nullptr,
    u"Vantreo: exact resizing by point sampling, area averaging, bicubic or Lanczos-3, alpha kept straight",
    items,
    video_call,
    nullptr,
};

// Within the item's range (a value that is no number takes the minimum).
double in_range(const TrackItem& item)
{
    const double value = item.value;
    if (!(value >= item.min)) return item.min;
    return value > item.max ? item.max : value;
}

std::int32_t whole(const TrackItem& item) { return static_cast<std::int32_t>(std::lround(in_range(item))); }

// An option the item lists, else the item's first.
std::int32_t listed(const SelectItem& item)
{
    for (const SelectOption* option = item.options; option->name; ++option)
        if (option->value == item.value) return item.value;
    return item.options[0].value;
}

}  // namespace

exedit2::FilterTable* filter_table() { return &table; }

EffectValues read_effect_values()
{
    return EffectValues{static_cast<SizeBy>(listed(size_by_item)),
                        in_range(scale_item),
                        whole(width_item),
                        whole(height_item),
                        static_cast<EffectMethod>(listed(method_item)),
                        whole(device_rate_item),
                        whole(cpu_threads_item)};
}
