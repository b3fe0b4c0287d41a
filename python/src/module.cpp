// The _kestrl extension: packs, colour jobs and halftone jobs for the kestrl
// package, whose Python layer gives them their keyword arguments.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <string>

#include "colour/grid_lookup.h"
#include "common/status.h"
#include "kestrl/built_in_pack.h"
#include "pack/job.h"
#include "page.h"

namespace py = pybind11;

namespace kestrl::python {

namespace {

using SharedPack = std::shared_ptr<const pack::Pack>;
using pack::ColourTableJob;
using pack::HalftoneJob;

const SharedPack& builtInPack() {
  static const SharedPack pack = std::make_shared<const pack::Pack>(tool::builtInPack());
  return pack;
}

// --- arrays -----------------------------------------------------------------

// A uint8 NumPy array, refused with TypeError otherwise; `expected` names
// the shape in the message.
py::array uint8Array(const py::handle& object, const std::string& what,
                     const std::string& expected) {
  if (!py::isinstance<py::array>(object)) {
    throw py::type_error(what + " must be a NumPy uint8 array of shape " + expected + ", not " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
  }
  auto array = py::reinterpret_borrow<py::array>(object);
  const py::dtype dtype = array.dtype();
  if (dtype.kind() != 'u' || dtype.itemsize() != 1) {
    throw py::type_error(what + " must be a NumPy uint8 array of shape " + expected + ", not " +
                         std::string(py::str(py::handle(dtype))));
  }
  return array;
}

std::string shapeText(const py::array& array) {
  std::string text = "(";
  for (py::ssize_t i = 0; i < array.ndim(); ++i) {
    text += (i ? ", " : "") + std::to_string(array.shape(i));
  }
  return text + (array.ndim() == 1 ? ",)" : ")");
}

// The shape a line or page of this job takes, for messages.
std::string expectedShape(const HalftoneJob& job, const std::string& lines,
                          const std::string& samples) {
  std::string shape = "(" + lines + (lines.empty() ? "" : ", ") + samples;
  const uint32_t sampleBytes = pack::sampleBytes(job.mode());
  if (sampleBytes != 1) return shape + ", " + std::to_string(sampleBytes) + ")";
  return shape + (lines.empty() ? ",)" : ")");
}

// The layout of a source whose last axes are samples (and bytes, when a
// sample has more than one); lineAxis -1 for a single line.
SourceLayout sourceLayout(const HalftoneJob& job, const py::array& array, int lineAxis,
                          const std::string& expected) {
  const py::ssize_t sampleAxis = lineAxis + 1;
  const uint32_t sampleBytes = pack::sampleBytes(job.mode());
  const bool oneByte = sampleBytes == 1;
  const py::ssize_t dims = sampleAxis + (oneByte ? 1 : 2);
  if (array.ndim() != dims ||
      (!oneByte && array.shape(sampleAxis + 1) != static_cast<py::ssize_t>(sampleBytes))) {
    throw py::value_error("expected an array of shape " + expected + ", got " + shapeText(array));
  }
  SourceLayout layout;
  layout.data = static_cast<const uint8_t*>(array.data());
  layout.lineStride = lineAxis >= 0 ? array.strides(lineAxis) : 0;
  layout.sampleStride = array.strides(sampleAxis);
  layout.byteStride = oneByte ? 1 : array.strides(sampleAxis + 1);
  layout.samples = static_cast<uint32_t>(array.shape(sampleAxis));
  layout.sampleBytes = sampleBytes;
  return layout;
}

// --- errors -----------------------------------------------------------------

// A call that answered a status other than 0, or a resource the pack lacks
// or cannot hand over (KESTRL_STATUS_BAD_RESOURCE): the status and the call,
// with its stage or its line.
struct LibraryError {
  uint32_t status = 0;
  std::string call;
};

std::string statusMeaning(uint32_t status) {
  const char* meaning = kestrl::statusMeaning(status);
  return meaning != nullptr ? meaning : "unknown status";
}

// Raises the kestrl exception for a library status (see kestrl/_errors.py).
[[noreturn]] void raiseStatus(uint32_t status, const std::string& call) {
  throw LibraryError{status, call};
}

// Raises the kestrl exception for a job that could not be opened.
void raiseIfFailed(const pack::JobFailure& f) {
  if (f.failed()) raiseStatus(f.libraryStatus(), f.call.empty() ? f.message : f.call);
}

void translateLibraryError(const LibraryError& e) {
  py::object errors = py::module_::import("kestrl._errors");
  py::object error = errors.attr("error_for")(e.status, statusMeaning(e.status), e.call);
  PyErr_SetObject(error.get_type().ptr(), error.ptr());
}

// --- the bound classes --------------------------------------------------------

struct PyPack {
  SharedPack pack;
};

// A pack folder that cannot be listed, read or written.
[[noreturn]] void raiseOSError(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

PyPack openPack(const std::string& folder) {
  auto pack = std::make_shared<pack::Pack>();
  if (pack::PackResult r = pack::readPack(folder, *pack); !r.ok()) raiseOSError(r.error);
  return {pack};
}

void exportPack(const PyPack& self, const std::string& folder) {
  pack::Pack all = *self.pack;
  pack::PackResult r = pack::loadAll(all);
  if (r.ok()) r = pack::writePack(all, folder);
  if (!r.ok()) raiseOSError(r.error);
}

py::bytes packResource(const PyPack& self, int32_t id) {
  const pack::Resource* resource = self.pack->find(id);
  if (resource == nullptr) throw py::key_error(std::to_string(id));
  return {reinterpret_cast<const char*>(resource->bytes.data()), resource->bytes.size()};
}

// A copy of the pack with some resources replaced (bytes) or removed (None).
PyPack withResources(const PyPack& self, const py::dict& changes) {
  auto changed = std::make_shared<pack::Pack>(*self.pack);
  for (const auto& [key, value] : changes) {
    const auto id = key.cast<int32_t>();
    changed->files.erase(id);
    changed->resources.erase(id);
    if (value.is_none()) continue;
    const std::string bytes = value.cast<std::string>();
    changed->put(id, std::vector<uint8_t>(bytes.begin(), bytes.end()),
                 py::isinstance<py::str>(value));
  }
  return {changed};
}

struct PyColourJob {
  SharedPack pack;
  std::shared_ptr<ColourTableJob> job;
};

PyColourJob makeColourJob(const PyPack& pack, const PrintMode& mode, const ColorSettings& colour,
                          std::optional<int32_t> gamma, const py::bytes& calibration,
                          const py::bytes& curves) {
  pack::JobSettings settings{mode, colour, gamma, {}, {}};
  const std::string calibrationBytes = calibration, curveBytes = curves;
  settings.calibrationRecord.assign(calibrationBytes.begin(), calibrationBytes.end());
  settings.curves.assign(curveBytes.begin(), curveBytes.end());
  if (!settings.curves.empty()) settings.colour.adjustMode = 1;
  auto job = std::make_shared<ColourTableJob>();
  raiseIfFailed(job->open(*pack.pack, settings));
  return {pack.pack, job};
}

py::array gridView(const py::object& self) {
  const CmLut& lut = self.cast<const PyColourJob&>().job->lut();
  const py::ssize_t channels = lut.channelCount;
  const std::vector<py::ssize_t> shape = {lut.gridPoints[0], lut.gridPoints[1], lut.gridPoints[2],
                                          channels};
  py::array view(py::dtype::of<uint8_t>(), shape, lut.gridData, self);
  view.attr("setflags")(py::arg("write") = false);
  return view;
}

py::array_t<uint8_t> lookUp(const PyColourJob& self, const py::object& object) {
  const py::array rgb = uint8Array(object, "rgb", "(..., 3)");
  if (rgb.ndim() < 1 || rgb.shape(rgb.ndim() - 1) != 3) {
    throw py::value_error("expected an array of shape (..., 3), got " + shapeText(rgb));
  }
  const auto packed = py::array_t<uint8_t, py::array::c_style>::ensure(rgb);
  const CmLut& lut = self.job->lut();
  std::vector<py::ssize_t> shape(rgb.shape(), rgb.shape() + rgb.ndim());
  shape.back() = lut.channelCount;
  py::array_t<uint8_t> inks(shape);
  // The grid reads pixels by the context's layout; this one reads packed RGB.
  CmContext layout = *self.job->context();
  layout.pixelStride = 3;
  for (int16_t k = 0; k < 3; ++k) layout.pixelOffset[k] = k;
  colour::lookUpPixels(layout, lut, colour::GridCells(lut), static_cast<int32_t>(packed.size() / 3),
                       packed.data(), inks.mutable_data());
  return inks;
}

struct PyHalftoneJob {
  std::shared_ptr<ColourTableJob> colour;  // kept for the record the context copied
  std::unique_ptr<HalftoneJob> job;
  std::unique_ptr<std::mutex> busy = std::make_unique<std::mutex>();  // one caller at a time
};

PyHalftoneJob makeHalftoneJob(const PyPack& pack, const PrintMode& mode,
                              const PyColourJob& colour) {
  PyHalftoneJob made;
  made.colour = colour.job;
  made.job = std::make_unique<HalftoneJob>();
  raiseIfFailed(made.job->open(*pack.pack, mode, colour.job->lut()));
  return made;
}

// A page: every line of the source, line numbers from 0; the dots as
// planes x lines x width (one byte a dot) or the packed rows.
py::array halftonePageBound(PyHalftoneJob& self, const py::object& object, bool packed) {
  const HalftoneJob& job = *self.job;
  const uint32_t width = job.mode().lineWidth;
  const uint64_t sourceSamples = pack::sourceSamples(job.mode(), width);
  const std::string samples = std::to_string(sourceSamples);
  const std::string expected = expectedShape(job, "H", samples);
  const py::array image = uint8Array(object, "image", expected);
  const SourceLayout layout = sourceLayout(job, image, 0, expected);
  if (layout.samples != sourceSamples) {
    throw py::value_error("expected an array of shape " + expected + ", got " + shapeText(image));
  }
  const auto lines = static_cast<uint32_t>(image.shape(0));
  const uint32_t dotsPerByte = 8 / pack::bitsPerDot(job.mode());
  const size_t lineSize = packed ? (size_t{width} + dotsPerByte - 1) / dotsPerByte : width;
  if (packed && lineSize * lines > UINT32_MAX)
    throw py::value_error("a packed page this large does not fit the library's plane stride");
  py::array_t<uint8_t> dots({py::ssize_t{pack::planeCount(job.mode())}, py::ssize_t{lines},
                             static_cast<py::ssize_t>(lineSize)});
  const DotLayout out{dots.mutable_data(), lineSize * lines, lineSize, packed};
  PageResult result;
  {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(*self.busy);
    result = halftonePage(job, layout, lines, out);
  }
  if (result.status != KESTRL_STATUS_OK)
    raiseStatus(result.status, "Halftone (line " + std::to_string(result.line) + ")");
  return dots;
}

// One run: `count` pixels from startX on line `line`; planes x count dots.
py::array halftoneRunBound(PyHalftoneJob& self, const py::object& object, uint32_t count,
                           uint32_t startX, uint32_t line) {
  const HalftoneJob& job = *self.job;
  const uint64_t sourceSamples = pack::sourceSamples(job.mode(), count);
  const std::string expected = expectedShape(job, "", std::to_string(sourceSamples));
  const py::array source = uint8Array(object, "line", expected);
  const SourceLayout layout = sourceLayout(job, source, -1, expected);
  if (layout.samples < sourceSamples) {
    throw py::value_error("expected an array of shape " + expected + ", got " + shapeText(source));
  }
  py::array_t<uint8_t> dots({py::ssize_t{pack::planeCount(job.mode())}, py::ssize_t{count}});
  const DotLayout out{dots.mutable_data(), count, 0, false};
  uint32_t status = 0;
  {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(*self.busy);
    LineReader reader(layout);
    status = halftoneRun(job, reader.line(0), count, startX, line, out);
  }
  if (status != KESTRL_STATUS_OK) {
    raiseStatus(status, "Halftone (line " + std::to_string(line) + ", pixels " +
                            std::to_string(startX) + " to " + std::to_string(startX + count) + ")");
  }
  return dots;
}

PrintMode makePrintMode(uint32_t mode, uint32_t colorMethod, uint32_t inkSet, uint32_t colorInput,
                        uint32_t xResolution, uint32_t yResolution, uint32_t bitsPerPixel,
                        int32_t sourceStep, uint32_t lineWidth) {
  PrintMode m{};
  m.mode = mode;
  m.colorMethod = colorMethod;
  m.inkSet = inkSet;
  m.colorInput = colorInput;
  m.xResolution = xResolution;
  m.yResolution = yResolution;
  m.bitsPerPixel = bitsPerPixel;
  m.sourceStep = sourceStep;
  m.lineWidth = lineWidth;
  return m;
}

ColorSettings makeColorSettings(int32_t brightness, int32_t contrast, int32_t saturation,
                                int32_t red, int32_t green, int32_t blue, int32_t selectNumber,
                                int32_t selectName, int32_t classOverride, int32_t colorClass,
                                int32_t greyStyle) {
  return ColorSettings{
      0,          brightness,    contrast,   saturation, red, green, blue,   selectNumber,
      selectName, classOverride, colorClass, greyStyle,  0,   0,     nullptr};
}

void bindRecords(py::module_& m) {
  py::class_<PrintMode>(m, "_PrintMode")
      .def(py::init(&makePrintMode), py::arg("mode"), py::arg("color_method"), py::arg("ink_set"),
           py::arg("color_input"), py::arg("x_resolution"), py::arg("y_resolution"),
           py::arg("bits"), py::arg("source_step"), py::arg("line_width"))
      .def_readonly("mode", &PrintMode::mode)
      .def_readonly("color_input", &PrintMode::colorInput)
      .def_readonly("ink_set", &PrintMode::inkSet)
      .def_readonly("bits", &PrintMode::bitsPerPixel)
      .def_readonly("source_step", &PrintMode::sourceStep)
      .def_readonly("line_width", &PrintMode::lineWidth)
      .def_property_readonly("combines_pairs", &pack::combinesPairs);
  py::class_<ColorSettings>(m, "_ColorSettings")
      .def(py::init(&makeColorSettings), py::arg("brightness"), py::arg("contrast"),
           py::arg("saturation"), py::arg("red"), py::arg("green"), py::arg("blue"),
           py::arg("select_number"), py::arg("select_name"), py::arg("class_override"),
           py::arg("color_class"), py::arg("grey_style"));
}

void bindPack(py::module_& m) {
  py::class_<PyPack>(m, "_Pack")
      .def_static("builtin", [] { return PyPack{builtInPack()}; })
      .def_static("open", &openPack, py::arg("folder"))
      .def("export", &exportPack, py::arg("folder"))
      .def("ids", [](const PyPack& self) { return self.pack->ids(); })
      .def("resource", &packResource, py::arg("id"))
      .def("with_resources", &withResources, py::arg("changes"));
}

void bindColour(py::module_& m) {
  py::class_<PyColourJob>(m, "_ColourJob")
      .def(py::init(&makeColourJob), py::arg("pack"), py::arg("mode"), py::arg("colour"),
           py::arg("gamma"), py::arg("calibration"), py::arg("curves"))
      .def_property_readonly("grid", &gridView)
      .def_property_readonly("grey_ramp",
                             [](const PyColourJob& self) {
                               const CmLut& lut = self.job->lut();
                               return py::array_t<uint8_t>(256, lut.greyRamp);
                             })
      .def_property_readonly("breakpoints",
                             [](const PyColourJob& self) {
                               const CmLut& lut = self.job->lut();
                               py::array_t<uint8_t> levels({3, lut.gridPoints[0]});
                               for (int k = 0; k < 3; ++k) {
                                 std::copy_n(lut.breakpoints[k], lut.gridPoints[0],
                                             levels.mutable_data(k));
                               }
                               return levels;
                             })
      .def_property_readonly("channels",
                             [](const PyColourJob& self) { return self.job->lut().channelCount; })
      .def_property_readonly("adjust_status",
                             [](const PyColourJob& self) { return self.job->adjustStatus(); })
      .def("lookup", &lookUp, py::arg("rgb"));
}

void bindHalftone(py::module_& m) {
  py::class_<PyHalftoneJob>(m, "_HalftoneJob")
      .def(py::init(&makeHalftoneJob), py::arg("pack"), py::arg("mode"), py::arg("colour"))
      .def("page", &halftonePageBound, py::arg("image"), py::arg("packed") = false)
      .def("run", &halftoneRunBound, py::arg("line"), py::arg("count"), py::arg("start_x"),
           py::arg("line_number"))
      .def_property_readonly(
          "planes", [](const PyHalftoneJob& s) { return pack::planeCount(s.job->mode()); });
}

}  // namespace

}  // namespace kestrl::python

PYBIND11_MODULE(_kestrl, m) {
  using namespace kestrl::python;
  m.doc() = "The Kestrl library's calls on NumPy arrays (use the kestrl package).";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const LibraryError& e) {
      translateLibraryError(e);
    }
  });
  m.def("status_meaning", &statusMeaning, py::arg("status"));
  bindRecords(m);
  bindPack(m);
  bindColour(m);
  bindHalftone(m);
}
