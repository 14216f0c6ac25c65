// A model written for a viewer as VTK's XML unstructured grid (.vtu).
#include "inspect_VtuExport.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCommand.h>
#include <vtkDoubleArray.h>
#include <vtkErrorCode.h>
#include <vtkFieldData.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkStringArray.h>
#include <vtkTypeInt64Array.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "inspect_ModeColumnArray.h"
#include "uma_System.h"
#include "common_Model.h"
#include "inspect_VtuModel.h"

namespace uma::inspect {

namespace {

// A file beside the target, removed unless it is renamed over the target.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : m_target(target) {}
  ~TempFile() {
    if (!m_path.empty()) std::remove(m_path.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates it with the permissions a new file gets; "" or why not.
  std::string Create() {
    std::vector<char> name(m_target.begin(), m_target.end());
    const char suffix[] = ".writing-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int fd = mkstemp(name.data());
    if (fd < 0) return "cannot write " + m_target + ": " + std::strerror(errno);
    m_path = name.data();
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return "";
  }
  const std::string& Path() const { return m_path; }
  std::string RenameOverTarget() {
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
      return "cannot write " + m_target + ": " + std::strerror(errno);
    m_path.clear();
    return "";
  }

 private:
  std::string m_target;
  std::string m_path;
};

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

template <class Array, class Values>
vtkNew<Array> Filled(const char* name, const Values& values) {
  vtkNew<Array> array;
  array->SetName(name);
  array->SetNumberOfValues(static_cast<vtkIdType>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i)
    array->SetValue(static_cast<vtkIdType>(i), values[i]);
  return array;
}

vtkNew<vtkTypeInt64Array> Int64Array(const std::vector<long long>& values) {
  vtkNew<vtkTypeInt64Array> array;
  array->SetNumberOfValues(static_cast<vtkIdType>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i)
    array->SetValue(static_cast<vtkIdType>(i), values[i]);
  return array;
}

void AddGeometry(const VtuModel& m, vtkUnstructuredGrid& grid) {
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  points->SetNumberOfPoints(static_cast<vtkIdType>(m.nodeLabels.size()));
  for (std::size_t p = 0; p < m.nodeLabels.size(); ++p)
    points->SetPoint(static_cast<vtkIdType>(p), &m.coordinates[3 * p]);
  grid.SetPoints(points);

  vtkNew<vtkCellArray> cells;
  cells->SetData(Int64Array(m.offsets), Int64Array(m.connectivity));
  grid.SetCells(Filled<vtkUnsignedCharArray>("", m.cellTypes), cells);
  grid.GetPointData()->AddArray(Filled<vtkIntArray>("node label", m.nodeLabels));
  grid.GetPointData()->AddArray(Filled<vtkUnsignedCharArray>("internal node", m.internal));
  if (m.hasMesh) {
    grid.GetCellData()->AddArray(Filled<vtkIntArray>("element label", m.elementLabels));
    grid.GetCellData()->AddArray(Filled<vtkStringArray>("element type", m.elementTypes));
  }
}

void AddFieldData(const VtuModel& m, vtkUnstructuredGrid& grid) {
  vtkFieldData* field = grid.GetFieldData();
  field->AddArray(Filled<vtkStringArray>("mode names", m.modeNames));
  field->AddArray(Filled<vtkDoubleArray>("frequencies", m.frequencies));
  field->AddArray(
      Filled<vtkStringArray>("frequency unit", std::vector<std::string>{m.frequencyUnit}));
  for (const auto& [name, value] : m.attributes)
    field->AddArray(Filled<vtkStringArray>(name.c_str(), std::vector<std::string>{value}));
}

// The mode columns as arrays that read their values when the writer reaches them.
void AddModes(const VtuModel& m, ModeColumns& source, vtkUnstructuredGrid& grid) {
  const vtkIdType points = static_cast<vtkIdType>(m.nodeLabels.size());
  for (std::size_t c = 0; c < m.modeNames.size(); ++c)
    for (bool rotations : {false, true}) {
      if (rotations && !m.rotations) continue;
      vtkNew<ModeColumnArray> array;
      array->Show(&source, static_cast<int>(c), rotations, points);
      const std::string name = m.modeNames[c] + (rotations ? " rotation" : "");
      array->SetName(name.c_str());
      array->SetComponentName(0, rotations ? "rx" : "x");
      array->SetComponentName(1, rotations ? "ry" : "y");
      array->SetComponentName(2, rotations ? "rz" : "z");
      grid.GetPointData()->AddArray(array);
      if (!rotations && static_cast<int>(c) == m.staticModes)
        grid.GetPointData()->SetActiveVectors(name.c_str());
    }
}

// Why VTK's writer failed: the system's reason for an errno, else VTK's code.
std::string WriterFailure(unsigned long code) {
  if (code == vtkErrorCode::OutOfDiskSpaceError) return "the disk is full";
  if (code > 0 && code < vtkErrorCode::FirstVTKErrorCode)
    return std::strerror(static_cast<int>(code));
  return "VTK's writer failed with error " + std::to_string(code);
}

std::string Write(const VtuModel& m, ModeColumns& source, const std::string& path) {
  vtkNew<vtkUnstructuredGrid> grid;
  AddGeometry(m, *grid);
  AddFieldData(m, *grid);
  AddModes(m, source, *grid);

  TempFile temp(path);
  if (std::string why = temp.Create(); !why.empty()) return why;
  vtkNew<vtkXMLUnstructuredGridWriter> writer;
  // VTK's messages would repeat what the answer says, in its own words: keep them off stderr.
  vtkNew<vtkCallbackCommand> quiet;
  writer->AddObserver(vtkCommand::ErrorEvent, quiet);
  writer->AddObserver(vtkCommand::WarningEvent, quiet);
  writer->SetInputData(grid);
  writer->SetFileName(temp.Path().c_str());
  writer->SetDataModeToAppended();
  writer->EncodeAppendedDataOff();
  writer->SetHeaderTypeToUInt64();
  writer->SetCompressorTypeToLZ4();
  const int written = writer->Write();
  if (!source.Failure().empty()) return source.Failure();
  if (!written || writer->GetErrorCode() != vtkErrorCode::NoError)
    return "cannot write " + path + ": " + WriterFailure(writer->GetErrorCode());
  return temp.RenameOverTarget();
}

}  // namespace

std::string WriteVtu(const std::string& model, const std::string& path, VtuSummary& summary) {
  summary = VtuSummary();
  try {
    uma_System system(model.c_str(), false);
    if (system.IsNull()) return uma::common::OpenFailure();
    if (SameFile(model, path)) return "the output " + path + " is the model itself";
    VtuModel m;
    if (std::string why = ReadVtuModel(system, model, m); !why.empty()) return why;
    ModeColumns source(m.modes.get(), m.rows, static_cast<int>(m.nodeLabels.size()));
    if (std::string why = Write(m, source, path); !why.empty()) return why;
    summary.points = static_cast<int>(m.nodeLabels.size());
    for (unsigned char flag : m.internal) summary.internalPoints += flag;
    summary.elementsByType = m.elementsByType;
    for (int label : m.elementLabels) summary.vertices += label == 0;
    summary.elementsLeftOut = m.elementsLeftOut;
    summary.leftOutReason = m.leftOutReason;
    summary.staticModes = m.staticModes;
    summary.dynamicModes = m.dynamicModes;
    summary.rotations = m.rotations;
    return "";
  } catch (const QOBBasError& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return model + ": the model does not fit in memory";
  }
}

std::string AsText(const VtuSummary& s, const std::string& path) {
  std::string out = "wrote " + path + ": " + std::to_string(s.points) + " points (" +
                    std::to_string(s.internalPoints) + " internal)";
  for (const auto& [type, count] : s.elementsByType)
    out += ", " + std::to_string(count) + " " + type;
  if (s.vertices > 0)
    out += ", " + std::to_string(s.vertices) + (s.vertices == 1 ? " vertex" : " vertices");
  out += "; " + std::to_string(s.staticModes) + " static and " + std::to_string(s.dynamicModes) +
         " dynamic modes" + (s.rotations ? ", with rotations" : "") + "\n";
  return out;
}

}  // namespace uma::inspect
