#pragma once

// A small model of the console that interprets the escape sequences
// bootsetup sends, so tests can look at where text ends up rather than at
// the order of bytes. Rows and columns are 1-based as on the terminal.

#include <set>
#include <string>
#include <vector>

namespace console_test {

class screen_model {
public:
    static constexpr int width = 80;
    static constexpr int height = 30;

    screen_model() { clear(); }
    explicit screen_model(const std::string& bytes) : screen_model() { feed(bytes); }

    void feed(const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '\033' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
                std::size_t end = i + 2;
                while (end < bytes.size() && !(bytes[end] >= '@' && bytes[end] <= '~')) ++end;
                if (end >= bytes.size()) return;
                control(bytes.substr(i + 2, end - i - 2), bytes[end]);
                i = end;
            } else if (c == '\n') {
                ++row_;
                column_ = 1;
            } else if (c == '\r') {
                column_ = 1;
            } else if (c == '\a') {
                ++bells;
            } else {
                put(c);
            }
        }
    }

    // The row's text without trailing spaces.
    [[nodiscard]] std::string line(int row) const {
        std::string text = cells_[static_cast<std::size_t>(row)];
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }
    // 'R' under every cell drawn in reverse video, 'B' in bold, else ' '.
    [[nodiscard]] std::string looks(int row) const {
        std::string text = looks_[static_cast<std::size_t>(row)];
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }

    std::set<int> rows_drawn;  // rows that received characters
    int bells = 0;
    bool cursor_visible = true;
    int row() const { return row_; }
    int column() const { return column_; }

private:
    void clear() {
        cells_.assign(height + 2, std::string(width, ' '));
        looks_.assign(height + 2, std::string(width, ' '));
    }

    void put(char c) {
        if (column_ > width) {
            column_ = 1;
            ++row_;
        }
        if (row_ >= 1 && row_ <= height) {
            cells_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(column_ - 1)] = c;
            looks_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(column_ - 1)] =
                reverse_ ? 'R' : (bold_ ? 'B' : ' ');
            rows_drawn.insert(row_);
        }
        ++column_;
    }

    static std::vector<int> numbers(const std::string& parameters) {
        std::vector<int> values{0};
        for (char c : parameters) {
            if (c == ';')
                values.push_back(0);
            else if (c >= '0' && c <= '9')
                values.back() = values.back() * 10 + (c - '0');
        }
        return values;
    }

    void control(const std::string& parameters, char final) {
        const std::vector<int> values = numbers(parameters);
        switch (final) {
            case 'H':
                row_ = values[0] == 0 ? 1 : values[0];
                column_ = values.size() < 2 || values[1] == 0 ? 1 : values[1];
                break;
            case 'J':
                if (values[0] == 2) clear();
                break;
            case 'K':
                if (values[0] == 2 && row_ >= 1 && row_ <= height) {
                    cells_[static_cast<std::size_t>(row_)] = std::string(width, ' ');
                    looks_[static_cast<std::size_t>(row_)] = std::string(width, ' ');
                }
                break;
            case 'm':
                for (int value : values) {
                    if (value == 0) reverse_ = bold_ = false;
                    if (value == 7) reverse_ = true;
                    if (value == 1) bold_ = true;
                }
                break;
            case 'h':
            case 'l':
                if (parameters == "?25") cursor_visible = final == 'h';
                break;
            default:
                break;
        }
    }

    std::vector<std::string> cells_;
    std::vector<std::string> looks_;
    int row_ = 1;
    int column_ = 1;
    bool reverse_ = false;
    bool bold_ = false;
};

}  // namespace console_test
