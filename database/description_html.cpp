#include "database/description_html.h"

#include "entries/wine_start.h"

namespace velmora {

namespace {

std::string FieldLine(const char* label, const std::string& value) {
  return "<font color ='#cccc99'>" + std::string(54, '-') + "</font><font color='#990000'>" + label +
         "</font>" + EscapeHtml(value) + "<br>";
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string BuildDescriptionHtml(const Task& task, const std::string& starts) {
  std::string html = "<font color='#990000'>Name: </font><font color='#0000ff'><u><a href=\"";
  html += kSearchPage;
  html += "?as_q=" + PercentEncode(task.applicationName) + "&as_epq=" + PercentEncode(task.fileName);
  html += "\">" + EscapeHtml(task.name) + "</a></u></font><br>";
  if (task.fileExists) {
    html += FieldLine("Application name: ", task.applicationName);
    html += FieldLine("Path: ", task.command);
    html += FieldLine("Product name: ", task.productName);
    html += FieldLine("Version: ", task.version);
    html += FieldLine("Rating: ", task.rating);
    html += FieldLine("Description: ", task.description);
  } else {
    html += FieldLine("Path: ", task.command);
    html += FieldLine("Rating: ", task.rating);
    html += FieldLine("Description: ", task.description);
    html += "<br><p align='center'><font color='#ff0000'>NOTE: File does not exist</font></p>";
  }
  if (!task.serviceDll.empty()) html += FieldLine("Service DLL: ", task.serviceDll);
  if (!starts.empty()) html += FieldLine("Starts: ", StartsInWords(starts) + ".");
  std::string wineNote = WineStartNote(task);
  if (!wineNote.empty()) {
    html += "<br><p align='center'><font color='#ff0000'>NOTE: " + EscapeHtml(wineNote) + "</font></p>";
  }
  return html;
}

}  // namespace velmora
