// The texts every front-end shows the user as they stand: the window's title and check box,
// the start-up failure messages, and the refusal of a second program on a working folder. Constants
// only; no cost.
#pragma once

#include <string_view>

namespace tsugihagi {

inline constexpr std::u16string_view window_title = u"人工無脳 つぎはぎ";
inline constexpr std::u16string_view save_checkbox_label = u"終了時に学習状態を保存";
inline constexpr std::u16string_view dictionary_failed_message = u"辞書の読み込みに失敗しました...";
inline constexpr std::u16string_view log_failed_message = u"ログの読み込みに失敗しました...";
// Shown by a window that finds its working folder locked by another program (folder_lock).
inline constexpr std::u16string_view folder_in_use_message =
    u"この学習データは別のつぎはぎが使用中です";

}  // namespace tsugihagi
