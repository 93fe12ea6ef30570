// The tile grid through which every transition draws its geometry. The
// screen is cut into cells by column and row edges; each cell has a tile
// that turns triangles into drawing. A transition either talks to the
// tiles one by one, or to the multi-tile, which stands for the whole grid:
// it cuts each triangle along the grid lines and hands every cell its part.
//
// Positions are screen pixels. A plain triangle is textured at its own
// positions, so it shows the work target's pixels where it lies, faded by
// the per-vertex alpha (0 .. 255).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/obj.h"
#include "imaging/geometry.h"

namespace zel {

// A vertex of a plain triangle: position in screen pixels and alpha 0 .. 255.
struct TEffVertex {
  float x = 0, y = 0, alpha = 0;
  bool operator==(const TEffVertex&) const = default;
};

struct TEffPoint {
  float x = 0, y = 0;
  bool operator==(const TEffPoint&) const = default;
};

// A point in work-target pixels with the grey level (0 .. 255) the texture
// is multiplied with there.
struct TEffSourcePoint {
  float x = 0, y = 0, brightness = 255;
  bool operator==(const TEffSourcePoint&) const = default;
};

// A screen position with depth, for the perspective forms.
struct TEffPoint3D {
  float x = 0, y = 0, z = 0;
  bool operator==(const TEffPoint3D&) const = default;
};

using TEffTriangle = std::array<TEffVertex, 3>;
// Colours are ARGB, alpha in the top byte.
using TEffColours = std::array<uint32_t, 3>;

class TEffController;
class TMultiTile;

// One cell of the grid. The slots come in the order a batch uses them:
// begin, any number of triangles, end.
class TEffTile : public TObj {
 public:
  TEffTile(TEffController& controller, const TRect& rect, int column, int row)
      : fController(controller), fRect(rect), fColumn(column), fRow(row) {}
  TEffTile(const TEffTile&) = delete;
  TEffTile& operator=(const TEffTile&) = delete;

  // Textured triangles sample the work target; with full modulation the
  // vertex colour multiplies colour and alpha, otherwise alpha only.
  virtual void BeginTriangles(bool textured, bool fullModulation) = 0;
  // Textured at the vertex positions, white with the vertex alphas.
  virtual void AddTriangle(const TEffTriangle& vertices) = 0;
  // Untextured.
  virtual void AddColouredTriangle(const std::array<TEffPoint, 3>& points, const TEffColours& colours) = 0;
  // Texture coordinates at the source points, vertex colour the grey of
  // their brightness with alpha 255, drawn at the destination points.
  virtual void AddMappedTriangle(const std::array<TEffSourcePoint, 3>& source,
                                 const std::array<TEffPoint, 3>& dest) = 0;
  virtual void AddColouredTriangle3D(const std::array<TEffPoint3D, 3>& points, const TEffColours& colours) = 0;
  virtual void AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>& source,
                                   const std::array<TEffPoint3D, 3>& dest) = 0;
  virtual void EndTriangles() = 0;

  TEffController& Controller() const noexcept { return fController; }
  const TRect& Rect() const noexcept { return fRect; }
  int Column() const noexcept { return fColumn; }
  int Row() const noexcept { return fRow; }

 private:
  TEffController& fController;
  TRect fRect;
  int fColumn;
  int fRow;
};

// The grid of cells. A subclass decides what a tile is (the GL drawer's
// tiles batch into its vertex buffers) and where the drawing may go.
class TEffController : public TObj {
 public:
  TEffController();
  ~TEffController() override;
  TEffController(const TEffController&) = delete;
  TEffController& operator=(const TEffController&) = delete;

  // Column edges x[0 .. columns] and row edges y[0 .. rows], each in
  // ascending order. The tiles and the multi-tile of the old grid are
  // freed. Fewer than two edges on an axis leave the grid empty.
  void SetGrid(std::span<const float> columnEdges, std::span<const float> rowEdges);

  int Columns() const noexcept { return fColumns; }
  int Rows() const noexcept { return fRows; }
  bool IsGridEmpty() const noexcept { return fColumns == 0 || fRows == 0; }
  std::span<const float> ColumnEdges() const noexcept { return fColumnEdges; }
  std::span<const float> RowEdges() const noexcept { return fRowEdges; }

  // The cell's rectangle with its edges rounded to whole pixels; the
  // index must lie in the grid.
  TRect CellRect(int column, int row) const;

  // Where drawing may go: the whole grid rounded to pixels, empty for an
  // empty grid.
  virtual TRect GetBounds() const;

  // Made on first request; the index must lie in the grid.
  TEffTile& Tile(int column, int row);
  // Made on first request, on the grid as it is then.
  TMultiTile& MultiTile();

 protected:
  virtual std::unique_ptr<TEffTile> CreateTile(const TRect& rect, int column, int row) = 0;

 private:
  void FreeTiles();

  std::vector<float> fColumnEdges;
  std::vector<float> fRowEdges;
  int fColumns = 0;
  int fRows = 0;
  // Row by row; empty slots are cells not asked for yet.
  std::vector<std::unique_ptr<TEffTile>> fTiles;
  std::unique_ptr<TMultiTile> fMultiTile;
};

// Convex polygons kept one after the other in a shared vertex list.
class TEffPolygonList {
 public:
  void Clear() noexcept;
  void Add(std::span<const TEffVertex> polygon);
  std::size_t Count() const noexcept { return fStarts.size(); }
  bool IsEmpty() const noexcept { return fStarts.empty(); }
  std::span<const TEffVertex> Polygon(std::size_t index) const;

 private:
  std::vector<TEffVertex> fVertices;
  std::vector<uint32_t> fStarts;
};

// Splits convex polygons along the cuts of x, then of y, so that every
// piece lies in one cell between two neighbouring cuts of each axis. Where
// an edge crosses a cut a vertex is put on the cut, the other coordinate
// and the alpha interpolated linearly. What lies before the first cut or
// after the last one of either axis is dropped.
class T2DSeparator : public TObj {
 public:
  // Each axis needs at least one cut; they are taken in ascending order.
  T2DSeparator(std::span<const float> xCuts, std::span<const float> yCuts);

  // The cells between the cuts.
  int Columns() const noexcept { return static_cast<int>(fXCuts.size()) - 1; }
  int Rows() const noexcept { return static_cast<int>(fYCuts.size()) - 1; }

  void Clear() noexcept;
  // A polygon of fewer than three vertices adds nothing.
  void AddPolygon(std::span<const TEffVertex> polygon);
  const TEffPolygonList& Cell(int column, int row) const;

 private:
  enum class TAxis { X, Y };

  // The pieces of the polygon between the cuts lo and hi of one axis.
  void ClipToSlab(std::span<const TEffVertex> polygon, TAxis axis, float lo, float hi, std::vector<TEffVertex>& out);
  void AddColumnPiece(std::span<const TEffVertex> piece, int column);

  std::vector<float> fXCuts;
  std::vector<float> fYCuts;
  std::vector<TEffPolygonList> fCells;  // row by row
  // Scratch lists, kept to save allocations per triangle.
  std::vector<TEffVertex> fColumnPiece;
  std::vector<TEffVertex> fCellPiece;
  std::vector<TEffVertex> fHalfClipped;
};

// The whole grid as one tile: plain triangles are cut along the grid
// lines, and at the end of the batch each cell's tile draws its pieces.
// Only plain triangles are understood.
class TMultiTile : public TEffTile {
 public:
  explicit TMultiTile(TEffController& controller);

  // Forgets what an unfinished batch collected.
  void BeginTriangles(bool textured, bool fullModulation) override;
  void AddTriangle(const TEffTriangle& vertices) override;
  void AddColouredTriangle(const std::array<TEffPoint, 3>& points, const TEffColours& colours) override;
  void AddMappedTriangle(const std::array<TEffSourcePoint, 3>& source, const std::array<TEffPoint, 3>& dest) override;
  void AddColouredTriangle3D(const std::array<TEffPoint3D, 3>& points, const TEffColours& colours) override;
  void AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>& source,
                           const std::array<TEffPoint3D, 3>& dest) override;
  // Row by row, column by column, every cell that received pieces gets
  // one textured batch without full modulation holding its pieces as
  // fans; then the pieces are forgotten.
  void EndTriangles() override;

  const T2DSeparator& Separator() const noexcept { return fSeparator; }

 private:
  T2DSeparator fSeparator;
};

}  // namespace zel
