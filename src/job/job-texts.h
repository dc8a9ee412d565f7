// The window texts the job writes, as GBK bytes.
#pragma once

#include <string_view>

namespace tessaly::texts {

inline constexpr std::string_view kExtract = "\xCC\xE1\xC8\xA1";  // 提取
inline constexpr std::string_view kStop = "\xCD\xA3\xD6\xB9";     // 停止
inline constexpr std::string_view kExtracting =
    "\xD5\xFD\xD4\xDA\xCC\xE1\xC8\xA1...";                                      // 正在提取...
inline constexpr std::string_view kConverting = "\xD7\xAA\xBB\xBB\xD6\xD0...";  // 转换中...
inline constexpr std::string_view kConverted = "\xD7\xAA\xBB\xBB\xCD\xEA\xB3\xC9";  // 转换完成
inline constexpr std::string_view kStopping = "\xD5\xFD\xD4\xDA\xCD\xA3\xD6\xB9...";  // 正在停止...
// 正在提取图片...
inline constexpr std::string_view kSavingImages =
    "\xD5\xFD\xD4\xDA\xCC\xE1\xC8\xA1\xCD\xBC\xC6\xAC...";
inline constexpr std::string_view kCounterOpen = "\xA3\xA8\xB5\xDA";          // （第
inline constexpr std::string_view kImageCounterMiddle = "\xD5\xC5/\xB9\xB2";  // 张/共
inline constexpr std::string_view kImageCounterClose = "\xD5\xC5\xA3\xA9";    // 张）
// 提取到的图片
inline constexpr std::string_view kImageRoot = "\xCC\xE1\xC8\xA1\xB5\xBD\xB5\xC4\xCD\xBC\xC6\xAC";
inline constexpr std::string_view kFailed = "\xCC\xE1\xC8\xA1\xCA\xA7\xB0\xDC";  // 提取失败
inline constexpr std::string_view kNoticeTitle =
    "\xCE\xC2\xDC\xB0\xCC\xE1\xCA\xBE\xA3\xBA";  // 温馨提示：

// The slide instructions: 下载地址（请自行下载）：, 格式：, the placeholder query,
// 例如：, and the closing note (说明：复制到浏览器即可下载……工具都有).
inline constexpr std::string_view kSlideHeading =
    "\xCF\xC2\xD4\xD8\xB5\xD8\xD6\xB7\xA3\xA8\xC7\xEB\xD7\xD4\xD0\xD0\xCF\xC2\xD4\xD8\xA3\xA9\xA3"
    "\xBA\r\n\r\n";
inline constexpr std::string_view kSlideFormat = "\xB8\xF1\xCA\xBD\xA3\xBA";
inline constexpr std::string_view kSlideFormatQuery =
    "&rn=\xC3\xBF\xD2\xB3\xCF\xD4\xCA\xBE\xCA\xFD\xC1\xBF&pn="
    "\xB4\xD3\xB5\xDA\xBC\xB8\xD2\xB3\xBF\xAA"
    "\xCA\xBC\xBB\xF1\xC8\xA1\r\n\r\n";
inline constexpr std::string_view kSlideExample = "\xC0\xFD\xC8\xE7\xA3\xBA";
inline constexpr std::string_view kSlideExampleQuery = "&rn=10&pn=153\r\n\r\n";
inline constexpr std::string_view kSlideNote =
    "\xCB\xB5\xC3\xF7\xA3\xBA\xB8\xB4\xD6\xC6\xB5\xBD\xE4\xAF\xC0\xC0\xC6\xF7\xBC\xB4\xBF\xC9\xCF"
    "\xC2\xD4"
    "\xD8\xA3\xAC\xCF\xC2\xD4\xD8\xB5\xBD\xB1\xBE\xB5\xD8\xB5\xC4\xCA\xC7."
    "swf\xCE\xC4\xBC\xFE\xA3\xAC\xCF"
    "\xEB\xD7\xAA\xBB\xBB\xB3\xC9pdf\xBB\xF2\xD5\xDFword\xB5\xC4\xA3\xAC\xB0\xD9\xB6\xC8\xD2\xBB"
    "\xCF\xC2"
    "\xA3\xAC\xB9\xA4\xBE\xDF\xB6\xBC\xD3\xD0";

}  // namespace tessaly::texts
