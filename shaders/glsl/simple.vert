// Passes the fixed-function attributes through: position, colour, texture
// coordinate, and the eye-space normal and position for shading. The
// full-screen passes use it too: their quad carries texture coordinates
// equal to its screen position.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  gl_Position = ftransform();
  gl_FrontColor = gl_Color;
  gl_BackColor = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
  eye_normal = gl_NormalMatrix * gl_Normal;
  eye_position = vec3(gl_ModelViewMatrix * gl_Vertex);
}
