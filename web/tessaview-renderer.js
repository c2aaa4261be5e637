// The page's WebGL2 renderer. The picture comes from the WebAssembly module as batches of
// indexed triangles and one-pixel lines (see web/frame_mesh.h): every vertex carries its own
// end of a line, the other end, a corner and a width, and the vertex shader moves the corners of
// wide lines and points apart on the screen, because WebGL draws lines one pixel wide whatever
// width is asked for. On a screen of more than one device pixel per CSS pixel the canvas holds
// that many more pixels, and every width is multiplied by the ratio, so the picture is the
// desktop's 800x600 view at any density.
"use strict";

class TessaviewRenderer {
  constructor(canvas) {
    const gl = canvas.getContext("webgl2", { antialias: false, alpha: false, depth: true,
                                             preserveDrawingBuffer: false });
    if (!gl) throw new Error("this browser has no WebGL2");
    this.gl = gl;
    this.program = this.link(TessaviewRenderer.vertexShader, TessaviewRenderer.fragmentShader);
    this.matrix = gl.getUniformLocation(this.program, "uViewProjection");
    this.viewport = gl.getUniformLocation(this.program, "uViewport");
    this.pixelRatio = gl.getUniformLocation(this.program, "uPixelRatio");
    this.buffer = gl.createBuffer();
    this.indexBuffer = gl.createBuffer();
    this.capacity = 0;
    this.indexCapacity = 0;
    this.vao = gl.createVertexArray();
    gl.bindVertexArray(this.vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
    const stride = TessaviewRenderer.floatsPerVertex * 4;
    const attribute = (name, size, offset) => {
      const at = gl.getAttribLocation(this.program, name);
      gl.enableVertexAttribArray(at);
      gl.vertexAttribPointer(at, size, gl.FLOAT, false, stride, offset * 4);
    };
    attribute("aPosition", 3, 0);
    attribute("aOther", 3, 3);
    attribute("aCorner", 2, 6);
    attribute("aColour", 3, 8);
    attribute("aWidth", 1, 11);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.indexBuffer);
    gl.bindVertexArray(null);
    this.clear();
  }

  // A white canvas, as the window is before its first frame.
  clear() {
    const gl = this.gl;
    gl.viewport(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight);
    gl.clearColor(1, 1, 1, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
  }

  link(vertexSource, fragmentSource) {
    const gl = this.gl;
    const compile = (type, source) => {
      const shader = gl.createShader(type);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) {
        throw new Error("shader: " + gl.getShaderInfoLog(shader));
      }
      return shader;
    };
    const program = gl.createProgram();
    gl.attachShader(program, compile(gl.VERTEX_SHADER, vertexSource));
    gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fragmentSource));
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
      throw new Error("program: " + gl.getProgramInfoLog(program));
    }
    return program;
  }

  // Draws the module's current picture: one upload, one draw call, in the module's order.
  // ratio: the canvas's pixels per view pixel (its width / 800).
  draw(module, ratio) {
    const gl = this.gl;
    const vertices = module._tv_mesh(ratio);
    const count = module._tv_mesh_count();
    const matrix = module._tv_mesh_matrix();
    const indexStart = module._tv_mesh_indices();
    const indexCount = module._tv_mesh_index_count();
    const indices = module.HEAPU32.subarray(indexStart >> 2, (indexStart >> 2) + indexCount);
    const bytes = module.HEAPU8.subarray(vertices, vertices + count * TessaviewRenderer.floatsPerVertex * 4);
    this.clear();
    gl.enable(gl.DEPTH_TEST);
    gl.useProgram(this.program);
    gl.uniformMatrix4fv(this.matrix, false, module.HEAPF32.subarray(matrix >> 2, (matrix >> 2) + 16));
    gl.uniform2f(this.viewport, gl.drawingBufferWidth, gl.drawingBufferHeight);
    gl.uniform1f(this.pixelRatio, ratio);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
    if (bytes.length > this.capacity) {
      this.capacity = Math.max(bytes.length, 2 * this.capacity);
      gl.bufferData(gl.ARRAY_BUFFER, this.capacity, gl.DYNAMIC_DRAW);
    }
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, bytes);
    gl.bindVertexArray(this.vao);
    if (indices.byteLength > this.indexCapacity) {
      this.indexCapacity = Math.max(indices.byteLength, 2 * this.indexCapacity);
      gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, this.indexCapacity, gl.DYNAMIC_DRAW);
    }
    gl.bufferSubData(gl.ELEMENT_ARRAY_BUFFER, 0, indices);
    const batches = module._tv_mesh_batches() >> 2;
    for (let k = 0; k < module._tv_mesh_batch_count(); k++) {
      const [mode, first, length] = module.HEAPU32.subarray(batches + 3 * k, batches + 3 * k + 3);
      gl.drawElements(mode === 1 ? gl.LINES : gl.TRIANGLES, length, gl.UNSIGNED_INT, first * 4);
    }
    gl.bindVertexArray(null);
  }
}

TessaviewRenderer.floatsPerVertex = 12;

// Width 0: a triangle vertex. Corner (0, +-1): one side of a line, moved across the line's minor
// screen axis by half the width (in view pixels, times the pixel ratio), as desktop OpenGL widens its lines; the end behind the near
// plane is first brought onto it. Corner (+-1, +-1): a corner of a point's square.
TessaviewRenderer.vertexShader = `#version 300 es
in vec3 aPosition;
in vec3 aOther;
in vec2 aCorner;
in vec3 aColour;
in float aWidth;
uniform mat4 uViewProjection;
uniform vec2 uViewport;
uniform float uPixelRatio;
out vec3 vColour;
void main() {
  vColour = aColour;
  float width = aWidth * uPixelRatio;
  vec4 a = uViewProjection * vec4(aPosition, 1.0);
  if (aWidth == 0.0) {
    gl_Position = a;
    return;
  }
  if (aCorner.x != 0.0) {
    gl_Position = vec4(a.xy + aCorner * width / uViewport * a.w, a.zw);
    return;
  }
  vec4 b = uViewProjection * vec4(aOther, 1.0);
  float da = a.z + a.w;
  float db = b.z + b.w;
  if (da < 0.0 && db < 0.0) {
    gl_Position = vec4(0.0, 0.0, -2.0, 1.0);
    return;
  }
  vec4 na = da < 0.0 ? mix(a, b, da / (da - db)) : a;
  vec4 nb = db < 0.0 ? mix(b, a, db / (db - da)) : b;
  vec2 half_ = 0.5 * uViewport;
  vec2 sa = na.xy / na.w * half_;
  vec2 sb = nb.xy / nb.w * half_;
  vec2 d = sb - sa;
  vec2 across = abs(d.x) >= abs(d.y) ? vec2(0.0, 1.0) : vec2(1.0, 0.0);
  vec2 s = sa + across * aCorner.y * width * 0.5;
  gl_Position = vec4(s / half_ * na.w, na.z, na.w);
}`;

TessaviewRenderer.fragmentShader = `#version 300 es
precision mediump float;
in vec3 vColour;
out vec4 colour;
void main() {
  colour = vec4(vColour, 1.0);
}`;
