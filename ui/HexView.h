#pragma once
// A read-only hex view, 16 bytes a row when its width holds them and 8
// otherwise, that paints only the rows in sight, so that a file of many
// megabytes opens and scrolls at once.

#include <QAbstractScrollArea>
#include <cstdint>
#include <vector>

class CHexView : public QAbstractScrollArea {
 public:
  explicit CHexView(QWidget* parent = nullptr);

  // The view keeps its own copy of the first length bytes (at most maxLength).
  void SetData(const uint8_t* data, size_t length, size_t maxLength);
  size_t DataLength() const { return m_data.size(); }
  const std::vector<uint8_t>& Data() const { return m_data; }
  // The rows that the last paint drew (first row, count), for tests.
  std::pair<size_t, size_t> PaintedRows() const { return m_painted; }
  int LineHeight() const;
  size_t BytesPerRow() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateScrollBar();

  std::vector<uint8_t> m_data;
  std::pair<size_t, size_t> m_painted{0, 0};
};
